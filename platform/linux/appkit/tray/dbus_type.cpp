#include "appkit/dbus_type.h"

namespace appkit::tray {

bool sendableText(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The length of the sequence the lead byte starts, and the least character of that length
    // (anything less is an overlong form).
    std::size_t length = 0;
    char32_t character = 0, least = 0;
    if (lead == 0) return false;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2, character = lead & 0x1fu, least = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3, character = lead & 0x0fu, least = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4, character = lead & 0x07u, least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0u) != 0x80) return false;
      character = character << 6 | (next & 0x3fu);
    }
    const bool surrogate = character >= 0xd800 && character <= 0xdfff;
    const bool noncharacter =
        (character >= 0xfdd0 && character <= 0xfdef) || (character & 0xfffeu) == 0xfffeu;
    if (character < least || character > 0x10ffff || surrogate || noncharacter) return false;
    i += length;
  }
  return true;
}

}  // namespace appkit::tray
