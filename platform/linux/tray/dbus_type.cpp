#include "tray/dbus_type.h"

#include "text/utf8.h"

namespace tray {

bool sendableText(std::string_view text) {
  if (text.find('\0') != std::string_view::npos || !text::wellFormedUtf8(text)) return false;
  // Well formed, the text is read by its lead bytes: a noncharacter is U+FDD0 to U+FDEF
  // (EF B7 90 to EF B7 AF) or the last two of a plane (EF BF BE/BF, and F0 to F4 x?F BF BE/BF).
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned lead = byte(i);
    if (lead == 0xEF) {
      if ((byte(i + 1) == 0xB7 && byte(i + 2) >= 0x90 && byte(i + 2) <= 0xAF) ||
          (byte(i + 1) == 0xBF && byte(i + 2) >= 0xBE)) {
        return false;
      }
    } else if (lead >= 0xF0 && (byte(i + 1) & 0x0Fu) == 0x0F && byte(i + 2) == 0xBF &&
               byte(i + 3) >= 0xBE) {
      return false;
    }
    i += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  }
  return true;
}

}  // namespace tray
