#include "appkit/line_status_bar.h"

#include <errno.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace appkit {

namespace {

// Carriage return, erase to the end of the line.
constexpr std::string_view kClearLine = "\r\033[K";

// The width of the terminal on fd, in columns; 0 when it cannot be told.
int terminalColumns(int fd) {
  winsize size{};
  return ioctl(fd, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace

LineStatusItem::LineStatusItem(const StandardStreams& streams, int fd, bool isTerminal,
                               std::function<void()> onReaderGone)
    : streams_(streams),
      fd_(fd),
      isTerminal_(isTerminal),
      columns_(isTerminal ? terminalColumns(fd) : 0),
      onReaderGone_(std::move(onReaderGone)) {}

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
  // A title wider than the terminal would wrap, and each redraw would leave a line behind: it
  // is clipped to the width.
  std::string line;
  line.reserve(kClearLine.size() + title.size() + 1);
  line.append(kClearLine).append(clipped(title)).push_back('\r');
  write(line);
  shown_ = !title.empty();
}

void LineStatusItem::followWidth() {
  const int columns = terminalColumns(fd_);
  if (columns == columns_) return;
  columns_ = columns;
  if (shown_) setTitle(title_);
}

std::string_view LineStatusItem::clipped(std::string_view text) const {
  if (columns_ <= 0) return text;
  // One column for each character: a byte that does not continue a UTF-8 sequence starts one.
  int columns = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++columns > columns_) {
      return text.substr(0, i);
    }
  }
  return text;
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
  line.append(kClearLine).append(clipped(title_)).push_back('\n');
  write(line);
  shown_ = false;
}

void LineStatusItem::writeLineAbove(std::string_view text) {
  std::string line;
  if (isTerminal_) line.append(kClearLine);
  line.append(text).push_back('\n');
  if (isTerminal_ && shown_) line.append(clipped(title_)).push_back('\r');
  write(line);
}

void LineStatusItem::write(std::string_view text) {
  if (readerGone_) return;
  while (!text.empty()) {
    const ssize_t written = streams_.write(fd_, text.data(), text.size());
    if (written >= 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EPIPE) {
      readerGone_ = true;
      if (onReaderGone_) onReaderGone_();
    }
    // Anything else (a reader that is behind, a stopped terminal, a closed descriptor): the rest
    // of this title is dropped and the next one is tried; the program never waits on its reader.
    return;
  }
}

LineStatusBar::LineStatusBar(const StandardStreams& streams, int fd,
                             std::function<void()> onReaderGone)
    : streams_(streams),
      fd_(fd),
      isTerminal_(isatty(fd) == 1),
      onReaderGone_(std::move(onReaderGone)) {}

void LineStatusBar::terminalResized() {
  for (const auto& weak : items_) {
    if (const auto item = weak.lock()) item->followWidth();
  }
}

std::shared_ptr<platform::StatusItem> LineStatusBar::statusItemWithLength(double /*length*/) {
  // The width of a line of text always follows its content.
  return makeItem();
}

std::shared_ptr<LineStatusItem> LineStatusBar::makeItem() {
  auto item = std::make_shared<LineStatusItem>(streams_, fd_, isTerminal_, onReaderGone_);
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
