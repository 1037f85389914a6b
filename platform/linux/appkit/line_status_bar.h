// The status bar as a line of text: each item writes its title to a file descriptor (standard
// error). On a terminal an item redraws one line in place; anywhere else it writes one line for
// each non-empty title, as status bars such as i3blocks, polybar and waybar read it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/appkit/status_bar.h"
#include "platform/port.h"

namespace appkit {

class LineStatusItem final : public platform::StatusItem {
 public:
  // onReaderGone runs once when nobody reads fd any more (the pipe's reader has closed it).
  LineStatusItem(int fd, bool isTerminal, std::function<void()> onReaderGone);
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

  const std::string& title() const { return title_; }
  bool isTerminal() const { return isTerminal_; }

 private:
  void write(std::string_view text);

  int fd_;
  bool isTerminal_;
  std::function<void()> onReaderGone_;
  bool readerGone_ = false;
  bool shown_ = false;  // the terminal line shows the title
  std::string title_;
  std::shared_ptr<platform::Image> alternateImage_;
  bool highlightMode_ = false;
};

class LineStatusBar final : public StatusBarBackend {
 public:
  // Items write to fd; onReaderGone is handed to each.
  LineStatusBar(int fd, std::function<void()> onReaderGone);

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  std::shared_ptr<LineStatusItem> makeItem();
  // Finishes the line of every item still in the bar.
  void finish() override;

  bool isTerminal() const { return isTerminal_; }

 private:
  int fd_;
  bool isTerminal_;
  std::function<void()> onReaderGone_;
  std::vector<std::weak_ptr<LineStatusItem>> items_;
};

}  // namespace appkit
