#include "appkit/line_status_bar.h"
#include "appkit/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "support/process.h"
#include "support/pseudo_terminal.h"

using appkit::LineStatusBar;
using appkit::LineStatusItem;
using Rows = std::vector<std::string>;

namespace {

// Writes each descriptor as it is opened.
const appkit::StandardStreams streams;

// Writes on a terminal as printf and fflush to the same terminal do.
void writeOn(const PseudoTerminal& terminal, std::string_view text) {
  ASSERT_EQ(write(terminal.slave(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

}  // namespace

TEST(StatusItemOnAPipe, WritesOneLinePerNonEmptyTitle) {
  Pipe pipe;
  LineStatusItem item(streams, pipe.writeEnd(), false, nullptr);
  item.setTitle("");
  item.setTitle("47.8\u00b0C");
  item.setTitle("47.8\u00b0C");  // every title set is a line: the bar sees each refresh
  item.setTitle("");
  item.setTitle("-1.0\u00b0C");
  item.finishLine();  // every line is finished already
  EXPECT_EQ(drain(pipe.readEnd()), "47.8\u00b0C\n47.8\u00b0C\n-1.0\u00b0C\n");
  EXPECT_EQ(item.title(), "-1.0\u00b0C");
}

TEST(StatusItemOnAPipe, AReaderThatGoesAwayIsReportedOnceAndNothingMoreIsWritten) {
  ::signal(SIGPIPE, SIG_IGN);  // as the runner has it
  Pipe pipe;
  int gone = 0;
  LineStatusItem item(streams, pipe.writeEnd(), false, [&] { ++gone; });
  item.setTitle("47.8\u00b0C");
  EXPECT_EQ(gone, 0);
  pipe.closeRead();
  item.setTitle("48.0\u00b0C");
  item.setTitle("48.1\u00b0C");
  EXPECT_EQ(gone, 1);
}

TEST(StatusItemOnAPipe, AFullPipeDropsTitlesInsteadOfWaiting) {
  Pipe pipe;
  fcntl(pipe.writeEnd(), F_SETFL, O_NONBLOCK);
  fcntl(pipe.writeEnd(), F_SETPIPE_SZ, 4096);
  LineStatusItem item(streams, pipe.writeEnd(), false, nullptr);
  for (int i = 0; i < 2000; ++i) item.setTitle("47.8\u00b0C");  // returns: never blocks
  EXPECT_LE(drain(pipe.readEnd()).size(), 65536u);
}

TEST(StatusItemOnATerminal, RedrawsOneLineInPlace) {
  PseudoTerminal terminal;
  LineStatusItem item(streams, terminal.slave(), true, nullptr);
  item.setTitle("");
  item.setTitle("47.8\u00b0C");
  item.setTitle("-1.0\u00b0C");
  item.setTitle("5.0\u00b0C");  // shorter: nothing of the longer title is left behind
  EXPECT_EQ(terminal.screen().rows(), Rows{"5.0\u00b0C"});
  EXPECT_EQ(terminal.screen().cursorRow(), 0u);
}

TEST(StatusItemOnATerminal, ErrorLinesOnTheSameTerminalAreNotGarbled) {
  PseudoTerminal terminal;
  LineStatusItem item(streams, terminal.slave(), true, nullptr);
  item.setTitle("47.8\u00b0C");
  // Two refreshes at which the sensor cannot be opened: the error line, then the title.
  writeOn(terminal, "Error: no SMC found\n");
  item.setTitle("0.0\u00b0C");
  writeOn(terminal, "Error: IOServiceOpen() = e00002c1\n");
  item.setTitle("0.0\u00b0C");
  EXPECT_EQ(terminal.screen().rows(),
            (Rows{"Error: no SMC found", "Error: IOServiceOpen() = e00002c1", "0.0\u00b0C"}));
}

TEST(StatusItemOnATerminal, FinishingLeavesTheTitleOnItsOwnLine) {
  PseudoTerminal terminal;
  LineStatusItem item(streams, terminal.slave(), true, nullptr);
  item.setTitle("47.8\u00b0C");
  writeOn(terminal, "^C");  // the terminal's echo of an interrupt, over the title
  item.finishLine();
  writeOn(terminal, "$ ");  // the shell's prompt comes next
  EXPECT_EQ(terminal.screen().rows(), (Rows{"47.8\u00b0C", "$ "}));
  item.finishLine();  // a second time adds nothing
  EXPECT_EQ(terminal.screen().rows(), (Rows{"47.8\u00b0C", "$ "}));
}

TEST(StatusItemOnATerminal, AnEmptyTitleClearsTheLineAndIsNotFinished) {
  PseudoTerminal terminal;
  auto item = std::make_unique<LineStatusItem>(streams, terminal.slave(), true, nullptr);
  item->setTitle("47.8\u00b0C");
  item->setTitle("");
  item->finishLine();
  EXPECT_EQ(terminal.screen().rows(), Rows{});
  EXPECT_EQ(terminal.screen().cursorRow(), 0u);
  item->setTitle("47.8\u00b0C");
  item.reset();  // an item that leaves the bar takes its title with it
  EXPECT_EQ(terminal.screen().rows(), Rows{});
}

TEST(StatusBar, TellsATerminalFromAPipeAndFinishesTheLinesOfItsItems) {
  PseudoTerminal terminal;
  LineStatusBar bar(streams, terminal.slave(), nullptr);
  auto item = std::dynamic_pointer_cast<LineStatusItem>(bar.statusItemWithLength(-1.0));
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->isTerminal());
  item->setTitle("47.8\u00b0C");
  bar.finish();
  EXPECT_EQ(terminal.screen().rows(), Rows{"47.8\u00b0C"});
  EXPECT_EQ(terminal.screen().cursorRow(), 1u);

  Pipe pipe;
  LineStatusBar pipeBar(streams, pipe.writeEnd(), nullptr);
  auto pipeItem = std::dynamic_pointer_cast<LineStatusItem>(pipeBar.statusItemWithLength(-1));
  EXPECT_FALSE(pipeItem->isTerminal());
  pipeItem.reset();
  pipeBar.finish();  // an item no longer held is out of the bar
}

TEST(WriteWithinATimeLimit, GivesUpOnAReaderThatDoesNotReadAndWritesWhenItDoes) {
  // A pipe the program could not open anew stays blocking: the write must not wait for good.
  ASSERT_TRUE(appkit::letTheAlarmInterruptWrites());
  Pipe pipe;
  fcntl(pipe.writeEnd(), F_SETPIPE_SZ, 4096);
  fcntl(pipe.writeEnd(), F_SETFL, O_NONBLOCK);
  while (write(pipe.writeEnd(), "47.8\u00b0C\n", 8) > 0) {
  }
  fcntl(pipe.writeEnd(), F_SETFL, 0);
  errno = 0;
  EXPECT_EQ(appkit::writeWithinATimeLimit(pipe.writeEnd(), "x", 1, std::chrono::milliseconds(50)),
            -1);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_FALSE(drain(pipe.readEnd()).empty());
  EXPECT_EQ(appkit::writeWithinATimeLimit(pipe.writeEnd(), "x", 1, std::chrono::milliseconds(50)),
            1);
}
