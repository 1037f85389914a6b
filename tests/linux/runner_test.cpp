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
  const auto outcome = run({"--ignored", "-Option", "value"});
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
  EXPECT_EQ(help.out.rfind("Usage: quorvel [--help] [--version] [--status-bar=tray|line] "
                           "[--list-sensors]\n               [--sensor=NAME] [--verbose]\n",
                           0),
            0u);
  EXPECT_EQ(help.err, "");
  const auto version = run({"--version"});
  EXPECT_EQ(version.out, "quorvel " QUORVEL_VERSION "\n");
  // After "--", nothing is an option.
  signalAtThirdFiring = 0;
  const auto ignored = run({"--", "--version"});
  EXPECT_EQ(ignored.out.rfind("launched", 0), 0u) << ignored.out;
}
