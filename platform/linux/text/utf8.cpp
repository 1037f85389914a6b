#include "text/utf8.h"

namespace text {

bool wellFormedUtf8(std::string_view bytes) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned lead = byte(i++);
    if (lead < 0x80) continue;
    if (lead < 0xC2 || lead > 0xF4) return false;
    const int trailing = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    // The first trailing byte's range rules out overlong forms, surrogates and beyond U+10FFFF.
    unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (int k = 0; k < trailing; ++k, ++i, low = 0x80, high = 0xBF) {
      if (i >= bytes.size() || byte(i) < low || byte(i) > high) return false;
    }
  }
  return true;
}

}  // namespace text
