// Character tests that hold whatever the locale, and text from outside made fit to quote: the
// texts the program reads (sysfs, Info.plist, key files, the bus) are ASCII where it looks at
// them, and the C library's tests follow the locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

constexpr bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Printable ASCII: a space to '~'.
constexpr bool isPrintable(char c) {
  return c >= ' ' && c <= '~';
}

// An ASCII control character: below a space, or DEL.
constexpr bool isControl(char c) {
  return static_cast<unsigned char>(c) < ' ' || c == '\x7f';
}

// Text from outside the program (a value given, a path, a name or an error on the bus) as a notice
// quotes it: printable ASCII, any other byte written as '?', cut after limit characters with
// "...".
std::string printable(std::string_view text, std::size_t limit = 64);

}  // namespace text
