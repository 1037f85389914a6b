// Character tests that hold whatever the locale: the texts the program reads (sysfs, Info.plist,
// key files) are ASCII where it looks at them, and the C library's tests follow the locale.
#pragma once

namespace text {

constexpr bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace text
