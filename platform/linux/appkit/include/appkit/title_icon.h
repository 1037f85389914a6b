// The tray item's icon: its title drawn with a pixel font of ours, because most tray hosts show an
// item's icon and no text. The number goes on the top line and a trailing "°C" on the bottom one,
// each line centred, in light strokes with a one-pixel dark outline so that the text reads on light
// and dark panels alike. Every pixel is fully transparent or fully opaque, never blended.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace appkit::tray {

inline constexpr int kTitleIconSize = 22;
// ARGB32 (0xAARRGGBB) in host byte order, row-major, top row first.
inline constexpr std::size_t kTitleIconPixels = std::size_t{kTitleIconSize} * kTitleIconSize;
using TitleIcon = std::array<uint32_t, kTitleIconPixels>;

inline constexpr uint32_t kTitleIconStroke = 0xFFFFFFFF;   // opaque white
inline constexpr uint32_t kTitleIconOutline = 0xFF000000;  // opaque black
inline constexpr uint32_t kTitleIconClear = 0x00000000;

// The icon for a title in UTF-8. Digits, '-', '.', '°' and 'C' have glyphs; any other code point,
// and each ill-formed UTF-8 sequence, is drawn as a solid block (which no digit resembles). A title
// that ends in "°C" has that on the bottom line and the rest on the top line; any other title is
// all on the top line. A line too wide for the icon is drawn with narrower digits, and if it is
// still too wide, from the left edge and cut at the right one. An empty title gives a fully
// transparent icon.
TitleIcon drawTitleIcon(std::string_view title);

}  // namespace appkit::tray
