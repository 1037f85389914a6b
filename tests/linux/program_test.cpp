// The built program from outside: the first title and the refreshes, the sensor coming and
// going, termination signals, the terminal, options, the bundle found through a link.
#include <gtest/gtest.h>

#include "support/program_harness.h"
#include "support/terminal_screen.h"

using namespace std::chrono_literals;

TEST_F(Program, ShowsTheFirstTitleAtOnceAndNothingOnStandardOutput) {
  program_ = makeBundle("<real>60</real>", "Slow.app");
  Running quorvel = run();
  ASSERT_TRUE(quorvel.readTitles(1)) << quorvel.err;
  // One minute between refreshes: this title is the one shown at launch.
  EXPECT_LT(quorvel.sinceStart(), 5s);
  EXPECT_EQ(quorvel.err, kTitle + "\n");
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  EXPECT_EQ(quorvel.out, "");
  EXPECT_EQ(quorvel.err, kTitle + "\n");
}

TEST_F(Program, RefreshesEveryIntervalOfItsInfoPlist) {
  Running quorvel = run();
  ASSERT_TRUE(quorvel.readTitles(1)) << quorvel.err;
  const auto first = Clock::now();
  ASSERT_TRUE(quorvel.readTitles(6)) << quorvel.err;  // five refreshes of 0.2 s
  // Never early: five refreshes take at least a second from start. And far less than the
  // default 5 s would give, however loaded the machine.
  EXPECT_GE(quorvel.sinceStart(), 1s);
  EXPECT_LT(Clock::now() - first, 10s);
  setSensor("50000\n");
  EXPECT_TRUE(quorvel.readUntil([&] { return lines(quorvel.err).back() == "50.0\u00b0C"; }))
      << quorvel.err;
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  for (const auto& title : lines(quorvel.err)) {
    EXPECT_TRUE(title == kTitle || title == "50.0\u00b0C") << title;
  }
  EXPECT_EQ(quorvel.out, "");
}

TEST_F(Program, WithoutASensorPrintsTheErrorAndZeroAtEveryReading) {
  removeSensor();
  {
    // The error line reaches a pipe at once, not when the program ends.
    const fs::path fast = program_;
    program_ = makeBundle("<real>60</real>", "Slow.app");
    Running slow = run();
    EXPECT_TRUE(slow.readUntil([&] { return slow.out == kNoSmc + "\n"; })) << slow.out;
    slow.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(slow.wait()));
    program_ = fast;
  }
  Running quorvel = run();
  ASSERT_TRUE(quorvel.readTitles(3)) << quorvel.err;
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  const auto titles = lines(quorvel.err);
  const auto errors = lines(quorvel.out);
  EXPECT_EQ(errors.size(), titles.size());  // one error line for each reading
  for (const auto& title : titles) EXPECT_EQ(title, kNoSensorTitle);
  for (const auto& error : errors) EXPECT_EQ(error, kNoSmc);
}

// The CPU's sensor, and a sensor named with --sensor while a better one is there: a named sensor
// that goes shows as any failing reading does, and is read again when it comes back.
TEST_F(Program, FollowsASensorThatIsRemovedAndRestored) {
  for (const bool named : {false, true}) {
    if (named) sysfs_.addChip("hwmon1", "applesmc", 1, "TC0P", "50000\n");  // the automatic one
    Running quorvel = run(named ? std::vector<std::string>{"--sensor=coretemp/Package id 0"}
                                : std::vector<std::string>{});
    ASSERT_TRUE(quorvel.readTitles(1)) << quorvel.err;
    removeSensor();
    ASSERT_TRUE(quorvel.readUntil([&] { return lines(quorvel.err).back() == kNoSensorTitle; }))
        << quorvel.err;
    const std::size_t removed = lines(quorvel.err).size();
    setSensor("47750\n");
    ASSERT_TRUE(quorvel.readUntil([&] {
      const auto titles = lines(quorvel.err);
      return titles.size() > removed && titles.back() == kTitle;
    })) << quorvel.err;
    quorvel.send(SIGTERM);
    EXPECT_TRUE(exitedWithZero(quorvel.wait()));
    for (const auto& error : lines(quorvel.out)) {
      EXPECT_EQ(error, kNoSmc);  // while it was gone, and only then
    }
    EXPECT_LE(lines(quorvel.out).size(), lines(quorvel.err).size());
    for (const auto& title : lines(quorvel.err)) EXPECT_NE(title, "50.0\u00b0C") << named;
  }
}

class ProgramSignal : public Program, public testing::WithParamInterface<int> {};

TEST_P(ProgramSignal, EndsInOrderWithStatusZero) {
  Running quorvel = run();
  ASSERT_TRUE(quorvel.readTitles(1)) << quorvel.err;
  quorvel.send(GetParam());
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWithZero(status)) << describe(status);
  ASSERT_FALSE(quorvel.err.empty());
  EXPECT_EQ(quorvel.err.back(), '\n');  // every line finished
  for (const auto& title : lines(quorvel.err)) EXPECT_EQ(title, kTitle);
}

INSTANTIATE_TEST_SUITE_P(Termination, ProgramSignal, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST_F(Program, OnATerminalRedrawsOneLineUnderTheErrorLinesAndFinishesIt) {
  removeSensor();
  Running quorvel = run({}, true);
  ASSERT_TRUE(quorvel.readUntil([&] {
    TerminalScreen screen;
    screen.feed(quorvel.out);
    return screen.rows().size() >= 3;
  })) << quorvel.out;
  quorvel.send(SIGINT);
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWithZero(status)) << describe(status);
  TerminalScreen screen;
  screen.feed(quorvel.out);
  auto rows = screen.rows();
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows.back(), kNoSensorTitle);  // the status line, below every error line
  rows.pop_back();
  for (const auto& row : rows) EXPECT_EQ(row, kNoSmc);
  EXPECT_EQ(screen.cursorRow(), rows.size() + 1);  // the line is finished
  EXPECT_EQ(screen.cursorColumn(), 0u);
}

TEST_F(Program, AnswersHelpAndVersion) {
  Running help = run({"--help"});
  const auto helpStatus = help.wait();
  EXPECT_TRUE(exitedWithZero(helpStatus)) << describe(helpStatus);
  EXPECT_EQ(help.out.rfind("Usage: quorvel", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--version"), std::string::npos);
  EXPECT_EQ(help.err, "");

  Running version = run({"--verbose", "--version"});
  EXPECT_TRUE(exitedWithZero(version.wait()));
  EXPECT_EQ(version.out, "quorvel " QUORVEL_VERSION "\n");
  EXPECT_EQ(version.err, "");
}

TEST_F(Program, RefusesArgumentsItDoesNotTakeBeforeStarting) {
  // What Xcode adds when it runs a program on a Mac is no option here either.
  Running quorvel = run({"-NSDocumentRevisionsDebugMode", "YES"});
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWith(status, 2)) << describe(status);
  EXPECT_EQ(quorvel.out, "");
  EXPECT_EQ(quorvel.err,
            "quorvel: invalid option -- 'N'\nTry 'quorvel --help' for more information.\n");
}

TEST_F(Program, FindsItsBundleThroughASymbolicLink) {
  // As after installation: bin/quorvel links to the program inside the bundle.
  fs::create_directories(dir_.path() / "bin");
  fs::create_symlink(program_, dir_.path() / "bin/quorvel");
  Running quorvel(dir_.path() / "bin/quorvel", {}, sysfs_.root());
  // Three titles within 5 s only come with the bundle's 0.2 s, not the default 5 s.
  EXPECT_TRUE(quorvel.readTitles(3, 5s)) << quorvel.err;
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
}

TEST_F(Program, AMalformedInfoPlistMeansTheDefaultInterval) {
  dir_.write(program_.parent_path().parent_path() / "Info.plist", "<plist><dict><key>interval");
  Running quorvel = run();
  ASSERT_TRUE(quorvel.readTitles(1)) << quorvel.err;
  EXPECT_FALSE(quorvel.readTitles(2, 700ms)) << "refreshed faster than every 5 s";
  quorvel.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
  EXPECT_EQ(quorvel.err, kTitle + "\n");
}

TEST_F(Program, EndsWhenItsStatusBarStopsReading) {
  Running quorvel = run();
  ASSERT_TRUE(quorvel.readTitles(1)) << quorvel.err;
  quorvel.closeStandardError();
  const auto status = quorvel.wait();
  EXPECT_TRUE(exitedWithZero(status)) << describe(status);
}

TEST_F(Program, NeverWaitsOnAReaderThatStopsReading) {
  struct Case {
    const char* reader;
    bool withSensor;
    bool onTerminal;
  };
  const Case cases[] = {
      {"standard error, a pipe nobody reads", true, false},
      {"standard output, a pipe nobody reads", false, false},
      {"a terminal stopped with Ctrl-S", true, true},
  };
  program_ = makeBundle("<real>0.001</real>", "Fast.app");
  for (const auto& [reader, withSensor, onTerminal] : cases) {
    if (withSensor) {
      setSensor("47750\n");
    } else {
      removeSensor();  // an error line at every reading
    }
    Running quorvel = run({}, onTerminal);
    ASSERT_TRUE(quorvel.readUntil([&] { return !quorvel.out.empty() || !quorvel.err.empty(); }))
        << reader;
    quorvel.shrinkPipes();
    if (onTerminal) quorvel.type("\x13");
    // Far more than the pipe or the terminal holds, then the end is asked for: it comes at once.
    usleep(1'500'000);
    quorvel.send(SIGTERM);
    const auto status = quorvel.waitWithoutReading(2s);
    EXPECT_TRUE(exitedWithZero(status)) << reader << ": " << describe(status);
  }
}

TEST_F(Program, ReadsAnInfoPlistOnlyInABundleAndOnlyFromARegularFile) {
  // A FIFO nobody writes in place of Info.plist: no dictionary, and the program runs on.
  const fs::path info = program_.parent_path().parent_path() / "Info.plist";
  fs::remove(info);
  ASSERT_EQ(mkfifo(info.c_str(), 0644), 0);
  Running fifo = run();
  ASSERT_TRUE(fifo.readTitles(1)) << fifo.err;
  fifo.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(fifo.waitWithoutReading(2s)));

  // A program outside any bundle reads no Info.plist two folders up: the default 5 s holds.
  dir_.write("D/Info.plist", "<plist><dict><key>interval</key><real>0.05</real></dict></plist>");
  fs::create_directories(dir_.path() / "D/x");
  fs::copy_file(copy_->path() / "quorvel", dir_.path() / "D/x/quorvel");
  Running loose(dir_.path() / "D/x/quorvel", {}, sysfs_.root());
  ASSERT_TRUE(loose.readTitles(1)) << loose.err;
  EXPECT_FALSE(loose.readTitles(2, 700ms)) << "took its interval from outside a bundle";
  loose.send(SIGTERM);
  EXPECT_TRUE(exitedWithZero(loose.wait()));
}

TEST_F(Program, OnANarrowTerminalTheTitleIsClippedAndFollowsTheWidth) {
  Running quorvel = run({}, true, 4);
  ASSERT_TRUE(quorvel.readUntil([&] { return quorvel.out.find("47.8") != std::string::npos; }));
  quorvel.readUntil([] { return false; }, 700ms);  // a few refreshes
  TerminalScreen narrow(4);
  narrow.feed(quorvel.out);
  EXPECT_EQ(narrow.rows(), std::vector<std::string>{"47.8"}) << "never more than one line";

  const std::size_t resized = quorvel.out.size();
  quorvel.resizeTerminal(80);
  ASSERT_TRUE(quorvel.readUntil([&] {
    return quorvel.out.find(kTitle, resized) != std::string::npos;
  })) << quorvel.out;
  quorvel.send(SIGINT);
  EXPECT_TRUE(exitedWithZero(quorvel.wait()));
}
