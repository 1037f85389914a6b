// The status bar where there is no menu bar: each item writes its title to a file descriptor
// (standard error). On a terminal an item redraws one line in place; anywhere else it writes one
// line for each non-empty title, as status bars such as i3blocks, polybar and waybar read it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port.h"

namespace appkit {

class TerminalStatusItem final : public platform::StatusItem {
 public:
  // onReaderGone runs once when nobody reads fd any more (the pipe's reader has closed it).
  TerminalStatusItem(int fd, bool isTerminal, std::function<void()> onReaderGone);
  ~TerminalStatusItem() override;
  TerminalStatusItem(const TerminalStatusItem&) = delete;
  TerminalStatusItem& operator=(const TerminalStatusItem&) = delete;

  void setTitle(const std::string& title) override;
  void setAlternateImage(std::shared_ptr<platform::Image> image) override;
  void setHighlightMode(bool highlightMode) override;

  // On a terminal, leaves the last title on its own finished line and the cursor on the next
  // one, as a program that ends should. Elsewhere every line is finished already.
  void finishLine();

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

class TerminalStatusBar final : public platform::StatusBar {
 public:
  // Items write to fd; onReaderGone is handed to each.
  TerminalStatusBar(int fd, std::function<void()> onReaderGone);

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  // Finishes the line of every item still in the bar.
  void finishLines();

 private:
  int fd_;
  bool isTerminal_;
  std::function<void()> onReaderGone_;
  std::vector<std::weak_ptr<TerminalStatusItem>> items_;
};

}  // namespace appkit
