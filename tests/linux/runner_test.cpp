// The application runner, with a main interface of the test's own whose delegate writes down what
// happens to it on standard output. Each run has a port of its own, so it runs in the test's
// process, with standard output and standard error pointed at the test's pipes or terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "appkit/application.h"
#include "platform/port.h"
#include "support/process.h"
#include "support/pseudo_terminal.h"

namespace {

// What the delegate does; set before the run.
int signalAtThirdFiring = 0;  // 0: raise SIGTERM at once, during launch

void say(const std::string& text) {
  const std::string line = text + "\n";
  (void)!write(1, line.data(), line.size());
}

class RecordingDelegate : public platform::ApplicationDelegate {
 public:
  void applicationDidFinishLaunching(const platform::Notification& notification) override {
    const bool same = platform::sharedApplication().delegate().get() == this;
    say("launched " + notification.name + (same ? " (the same delegate)" : " (another delegate)"));
    item_ = platform::systemStatusBar().statusItemWithLength(platform::kVariableStatusItemLength);
    item_->setTitle("first");
    if (signalAtThirdFiring == 0) {
      raise(SIGTERM);  // arrives before the loop runs
      return;
    }
    timer_ = platform::scheduledTimerWithTimeInterval(
        0.01,
        [this](platform::Timer&) {
          if (++fired_ == 3) {
            say("fired 3 times");
            raise(signalAtThirdFiring);
          }
        },
        true);
  }
  void applicationWillTerminate(const platform::Notification& notification) override {
    say("terminating " + notification.name + " after " + std::to_string(fired_) + " firings");
    item_->setTitle("last");
  }

 private:
  std::shared_ptr<platform::StatusItem> item_;
  std::shared_ptr<platform::Timer> timer_;
  int fired_ = 0;
};

struct Outcome {
  int status = -1;  // what the runner returned
  std::string out;
  std::string err;  // the status bar: a pipe, or the screen of a terminal
};

// Runs the runner with the given arguments; stderr on a pipe or a terminal.
Outcome run(std::vector<std::string> arguments, bool terminal = false) {
  Pipe out, err;
  std::optional<PseudoTerminal> tty;
  if (terminal) tty.emplace();
  arguments.insert(arguments.begin(), "runner");
  unsetenv("DBUS_SESSION_BUS_ADDRESS");  // the line on standard error, not a tray
  unsetenv("XDG_RUNTIME_DIR");
  Outcome outcome;
  {
    const Redirect toOut(1, out.writeEnd());
    const Redirect toErr(2, terminal ? tty->slave() : err.writeEnd());
    Arguments argv(arguments);
    outcome.status = platform::applicationMain(argv.count(), argv.data());
  }
  out.closeWrite();
  err.closeWrite();
  outcome.out = drain(out.readEnd());
  if (!terminal) outcome.err = drain(err.readEnd());
  if (terminal) {
    tty->closeSlave();
    const TerminalScreen& screen = tty->screen();
    for (const auto& row : screen.rows()) outcome.err += row + "|";
    outcome.err += "cursor " + std::to_string(screen.cursorRow()) + "," +
                   std::to_string(screen.cursorColumn());
  }
  return outcome;
}

}  // namespace

// The main interface of this test program: one recording delegate.
void appkit::loadMainInterface(ApplicationObject& application) {
  application.setDelegate(std::make_shared<RecordingDelegate>());
}

TEST(Runner, LaunchesRunsAndEndsInOrderOnASignal) {
  signalAtThirdFiring = SIGHUP;
  const auto outcome = run({"--status-bar=line", "--verbose"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "launched NSApplicationDidFinishLaunchingNotification (the same delegate)\n"
            "fired 3 times\n"
            "terminating NSApplicationWillTerminateNotification after 3 firings\n");
  EXPECT_EQ(outcome.err, "first\nlast\n");
}

TEST(Runner, ASignalDuringLaunchEndsTheApplicationInOrderOnceTheLoopRuns) {
  signalAtThirdFiring = 0;
  const auto outcome = run({});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out,
            "launched NSApplicationDidFinishLaunchingNotification (the same delegate)\n"
            "terminating NSApplicationWillTerminateNotification after 0 firings\n");
}

TEST(Runner, FinishesTheTerminalLineAfterTheDelegateIsToldOfTheEnd) {
  signalAtThirdFiring = SIGINT;
  const auto outcome = run({}, true);
  EXPECT_EQ(outcome.status, 0);
  // The title set in applicationWillTerminate is the one left on the finished line.
  EXPECT_EQ(outcome.err, "last|cursor 1,0");
}

TEST(Runner, AnswersHelpAndVersionWithoutLaunching) {
  const auto help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: quorvel [--status-bar=tray|line] [--sensor=NAME] [--verbose]\n"
                           "       quorvel --list-sensors\n"
                           "       quorvel --help | --version\n",
                           0),
            0u);
  EXPECT_EQ(help.err, "");
  // On an 80-column terminal no line wraps: 79 characters at most (UTF-8, so "°" is one).
  std::size_t column = 0;
  for (const char c : help.out) {
    if (c == '\n') {
      column = 0;
    } else if ((static_cast<unsigned char>(c) & 0xc0) != 0x80) {
      EXPECT_LE(++column, 79u) << help.out;
    }
  }
  const auto version = run({"--version"});
  EXPECT_EQ(version.out, "quorvel " QUORVEL_VERSION "\n");
}

// Each command line, its exit status and the first line on standard error. A command line that is
// wrong ends before anything starts (nothing on standard output, no delegate told of a launch),
// with two lines: what is wrong, and where to read more. The runner runs many times here, in one
// process, as getopt_long's state would carry from one to the next if it were not reset.
TEST(Runner, EndsAWrongCommandLineWithStatusTwoBeforeAnythingStarts) {
  const std::string megabyte(1 << 20, 'a');
  const std::string cut = "'--" + std::string(62, 'a') + "...'";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string firstError;
  };
  const std::vector<Case> cases = {
      // A typo is never ignored, nor taken for the option it resembles, wherever it stands.
      {{"--verbos", "--list-sensors"}, 2, "quorvel: unrecognized option '--verbos'"},
      {{"--bogus", "--version"}, 2, "quorvel: unrecognized option '--bogus'"},
      {{"--version", "--bogus"}, 2, "quorvel: unrecognized option '--bogus'"},
      {{"--versionx"}, 2, "quorvel: unrecognized option '--versionx'"},
      {{"--sens=x"}, 2, "quorvel: unrecognized option '--sens=x'"},
      {{"-v"}, 2, "quorvel: invalid option -- 'v'"},
      {{"--help=all"}, 2, "quorvel: option '--help' takes no value"},
      // Values missing, empty or wrong.
      {{"--sensor"},
       2,
       "quorvel: --sensor takes a sensor's name; quorvel --list-sensors lists them"},
      {{"--sensor="},
       2,
       "quorvel: --sensor takes a sensor's name; quorvel --list-sensors lists them"},
      {{"--status-bar"}, 2, "quorvel: --status-bar takes tray, line or auto"},
      {{"--status-bar=nope"}, 2, "quorvel: --status-bar takes tray, line or auto, not \"nope\""},
      {{"--status-bar=line", "--status-bar="},
       2,
       "quorvel: --status-bar takes tray, line or auto, not \"\""},
      // Words that are not options, after "--" too.
      {{"foo"}, 2, "quorvel: unexpected argument 'foo'"},
      {{"--verbose", "foo", "--version"}, 2, "quorvel: unexpected argument 'foo'"},
      {{"--", "word"}, 2, "quorvel: unexpected argument 'word'"},
      {{"--", "--version"}, 2, "quorvel: unexpected argument '--version'"},
      // Quoted as every notice quotes: cut at 64 characters, bytes outside ASCII as '?'.
      {{"--" + megabyte}, 2, "quorvel: unrecognized option " + cut},
      {{megabyte}, 2, "quorvel: unexpected argument '" + std::string(64, 'a') + "...'"},
      {{"--caf\xc3\x28\xff"}, 2, "quorvel: unrecognized option '--caf?(?'"},
      {{"\x1b]0;title\x07"}, 2, "quorvel: unexpected argument '?]0;title?'"},
      // Given twice, the last one holds: the tray needs a bus that is not there, the line not.
      {{"--status-bar=line", "--status-bar=tray"},
       1,
       "quorvel: --status-bar=tray needs a session bus, and none is reachable "},
      {{"--status-bar=tray", "--status-bar", "line"}, 0, "first"},
      {{"--version", "--version"}, 0, ""},
  };
  signalAtThirdFiring = 0;
  for (const auto& [arguments, status, firstError] : cases) {
    const std::string shown = arguments.front().substr(0, 40);
    const auto outcome = run(arguments);
    EXPECT_EQ(outcome.status, status) << shown;
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')).substr(0, firstError.size()),
              firstError)
        << shown;
    if (status != 2) continue;
    EXPECT_EQ(outcome.err, firstError + "\nTry 'quorvel --help' for more information.\n") << shown;
    EXPECT_EQ(outcome.out, "") << shown;
  }
}
