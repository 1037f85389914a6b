#include "text/ascii.h"

namespace text {

std::string printable(std::string_view text, std::size_t limit) {
  std::string result;
  for (const char c : text.substr(0, limit)) result.push_back(isPrintable(c) ? c : '?');
  return text.size() > limit ? result + "..." : result;
}

}  // namespace text
