#include "platform/linux/appkit/line_status_bar.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>

namespace appkit {

namespace {

// Carriage return, erase to the end of the line.
constexpr std::string_view kClearLine = "\r\033[K";

}  // namespace

LineStatusItem::LineStatusItem(int fd, bool isTerminal, std::function<void()> onReaderGone)
    : fd_(fd), isTerminal_(isTerminal), onReaderGone_(std::move(onReaderGone)) {}

LineStatusItem::~LineStatusItem() {
  // An item that leaves the bar takes its title with it.
  if (shown_) write(kClearLine);
}

void LineStatusItem::setTitle(const std::string& title) {
  title_ = title;
  if (!isTerminal_) {
    if (!title.empty()) write(title + '\n');
    return;
  }
  if (title.empty() && !shown_) return;
  // The title is drawn from column 0 and the cursor goes back there, so that a line the program
  // writes to standard output in between overwrites the title (error lines are longer than any
  // title) and moves on to the next line, where the next title is drawn. Neither is garbled.
  std::string line;
  line.reserve(kClearLine.size() + title.size() + 1);
  line.append(kClearLine).append(title).push_back('\r');
  write(line);
  shown_ = !title.empty();
}

void LineStatusItem::setAlternateImage(std::shared_ptr<platform::Image> image) {
  alternateImage_ = std::move(image);
}

void LineStatusItem::setHighlightMode(bool highlightMode) {
  highlightMode_ = highlightMode;
}

void LineStatusItem::finishLine() {
  if (!isTerminal_ || !shown_) return;
  // Drawn anew: an echoed "^C" may have overwritten the start of the line.
  std::string line;
  line.append(kClearLine).append(title_).push_back('\n');
  write(line);
  shown_ = false;
}

void LineStatusItem::writeLineAbove(std::string_view text) {
  std::string line;
  if (isTerminal_) line.append(kClearLine);
  line.append(text).push_back('\n');
  if (isTerminal_ && shown_) line.append(title_).push_back('\r');
  write(line);
}

void LineStatusItem::write(std::string_view text) {
  if (readerGone_) return;
  while (!text.empty()) {
    const ssize_t written = ::write(fd_, text.data(), text.size());
    if (written >= 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EPIPE) {
      readerGone_ = true;
      if (onReaderGone_) onReaderGone_();
    }
    // Anything else (a full non-blocking pipe, a closed descriptor): this title is dropped, the
    // next one is tried; the program never waits on its reader.
    return;
  }
}

LineStatusBar::LineStatusBar(int fd, std::function<void()> onReaderGone)
    : fd_(fd), isTerminal_(isatty(fd) == 1), onReaderGone_(std::move(onReaderGone)) {}

std::shared_ptr<platform::StatusItem> LineStatusBar::statusItemWithLength(double /*length*/) {
  // The width of a line of text always follows its content.
  return makeItem();
}

std::shared_ptr<LineStatusItem> LineStatusBar::makeItem() {
  auto item = std::make_shared<LineStatusItem>(fd_, isTerminal_, onReaderGone_);
  std::erase_if(items_, [](const auto& weak) { return weak.expired(); });
  items_.push_back(item);
  return item;
}

void LineStatusBar::finish() {
  for (const auto& weak : items_) {
    if (const auto item = weak.lock()) item->finishLine();
  }
}

}  // namespace appkit
