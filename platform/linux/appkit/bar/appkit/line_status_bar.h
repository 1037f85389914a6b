// The status bar as a line of text: each item writes its title to a file descriptor (standard
// error). On a terminal an item redraws one line in place, clipped to the terminal's width;
// anywhere else it writes one line for each non-empty title, as status bars such as i3blocks,
// polybar and waybar read it. A write never waits: what the reader does not take now is lost.
// Items write through the port's standard streams, the one writer that never waits.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/standard_streams.h"
#include "appkit/status_bar.h"
#include "platform/port.h"

namespace appkit {

class LineStatusItem final : public platform::StatusItem {
 public:
  // Writes to fd through streams, which must outlive the item. onReaderGone runs once when
  // nobody reads fd any more (the pipe's reader has closed it).
  LineStatusItem(const StandardStreams& streams, int fd, bool isTerminal,
                 std::function<void()> onReaderGone);
  ~LineStatusItem() override;
  LineStatusItem(const LineStatusItem&) = delete;
  LineStatusItem& operator=(const LineStatusItem&) = delete;

  void setTitle(const std::string& title) override;
  void setAlternateImage(std::shared_ptr<platform::Image> image) override;
  void setHighlightMode(bool highlightMode) override;

  // On a terminal, leaves the last title on its own finished line and the cursor on the next
  // one, as a program that ends should. Elsewhere every line is finished already.
  void finishLine();

  // Writes a finished line of its own (a notice) where the title is; on a terminal the title is
  // drawn again below it.
  void writeLineAbove(std::string_view text);

  // Takes the terminal's width anew, and redraws the title in it.
  void followWidth();

  const std::string& title() const { return title_; }
  bool isTerminal() const { return isTerminal_; }

 private:
  void write(std::string_view text);
  std::string_view clipped(std::string_view text) const;

  const StandardStreams& streams_;
  int fd_;
  bool isTerminal_;
  int columns_ = 0;  // the terminal's width; 0 when it cannot be told
  std::function<void()> onReaderGone_;
  bool readerGone_ = false;
  bool shown_ = false;  // the terminal line shows the title
  std::string title_;
  std::shared_ptr<platform::Image> alternateImage_;
  bool highlightMode_ = false;
};

class LineStatusBar final : public StatusBarBackend {
 public:
  // Items write to fd through streams; onReaderGone is handed to each.
  LineStatusBar(const StandardStreams& streams, int fd, std::function<void()> onReaderGone);
  LineStatusBar(const LineStatusBar&) = delete;
  LineStatusBar& operator=(const LineStatusBar&) = delete;

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  std::shared_ptr<LineStatusItem> makeItem();
  // Finishes the line of every item still in the bar.
  void finish() override;
  bool onTerminal() const override { return isTerminal_; }
  // Each item still in the bar takes the terminal's width anew.
  void terminalResized() override;

 private:
  const StandardStreams& streams_;
  int fd_;
  bool isTerminal_;
  std::function<void()> onReaderGone_;
  std::vector<std::weak_ptr<LineStatusItem>> items_;
};

class RunLoop;

// The line on standard error, written through streams; a reader that goes away ends loop.
std::unique_ptr<LineStatusBar> makeStandardErrorLine(const StandardStreams& streams, RunLoop& loop);

}  // namespace appkit
