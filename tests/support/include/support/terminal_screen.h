// What a terminal shows for the bytes written to it: enough of a terminal for status lines:
// printable text (UTF-8, one cell per character), carriage return, line feed, and "ESC [ K"
// (erase to the end of the line). Given a width, a character past the last column wraps to the
// next row, as terminals do.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TerminalScreen {
 public:
  explicit TerminalScreen(std::size_t columns = 0) : columns_(columns) {}

  void feed(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c == '\r') {
        column_ = 0;
      } else if (c == '\n') {
        ++row_;  // a pseudo-terminal adds the carriage return itself (ONLCR)
      } else if (c == '\033' && bytes.substr(i, 3) == "\033[K") {
        line().resize(std::min(line().size(), column_));
        i += 2;
      } else if ((static_cast<unsigned char>(c) & 0xc0) == 0x80) {
        if (column_ > 0) line()[column_ - 1] += c;  // continues the previous character
      } else {
        if (columns_ != 0 && column_ == columns_) {
          ++row_;
          column_ = 0;
        }
        if (line().size() <= column_) line().resize(column_ + 1, " ");
        line()[column_++] = std::string(1, c);
      }
    }
  }

  // The rows as text, trailing empty rows dropped.
  std::vector<std::string> rows() const {
    std::vector<std::string> text;
    for (const auto& cells : cells_) {
      std::string row;
      for (const auto& cell : cells) row += cell;
      text.push_back(row);
    }
    while (!text.empty() && text.back().empty()) text.pop_back();
    return text;
  }
  std::size_t cursorRow() const { return row_; }
  std::size_t cursorColumn() const { return column_; }

 private:
  std::vector<std::string>& line() {
    if (cells_.size() <= row_) cells_.resize(row_ + 1);
    return cells_[row_];
  }

  std::vector<std::vector<std::string>> cells_;
  std::size_t columns_;
  std::size_t row_ = 0;
  std::size_t column_ = 0;
};
