// The tray item's icon: its title drawn with pixel fonts of ours, one for each size, because most
// tray hosts show an item's icon and no text. The number goes on the top line and a trailing "°C"
// or "°F" on the bottom one, each line centred, in light strokes with a one-pixel dark outline (two
// at 44 pixels, twice the 22-pixel icon) so that the text reads on light and dark panels alike.
// Every pixel is fully transparent or fully opaque, never blended.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tray {

// The sizes the item's pixmaps are drawn at, each crisply with pixel fonts of their own: 16 for
// small panels (waybar's default icon size), 22 for most trays (KDE, LXQt, Xfce), 24 for
// Cinnamon's (the 22-pixel fonts, unscaled), 29 for Enlightenment's shelf (the 32-pixel digits), 32
// for large panels and 16-pixel ones at twice the scale, 44 for 22-pixel trays at twice the scale.
inline constexpr std::array<int, 6> kTitleIconSizes{16, 22, 24, 29, 32, 44};

inline constexpr uint32_t kTitleIconStroke = 0xFFFFFFFF;   // opaque white
inline constexpr uint32_t kTitleIconOutline = 0xFF000000;  // opaque black
inline constexpr uint32_t kTitleIconClear = 0x00000000;
// The strokes of a warning: an opaque red as far in relative luminance (0.217) from light panels
// as from dark ones, about 3.2:1 or more against white, light grey, dark grey and black, and
// 5.3:1 against its outline, which is the same as the normal strokes'.
inline constexpr uint32_t kTitleIconWarningStroke = 0xFFF92804;

// How the title's strokes are drawn: normal, or in the warning colour.
enum class TitleStyle : unsigned char { normal, warning };

// ARGB32 (0xAARRGGBB) in host byte order, row-major, top row first; size * size pixels.
struct TitleIcon {
  int size = 0;
  std::vector<uint32_t> pixels;
};

// The icon for a title in UTF-8 at one of kTitleIconSizes; any other size gives the nearest one
// drawn (the larger of two as near). Digits, '-', '.', '°', 'C' and 'F' have glyphs; any other
// code point, and each ill-formed UTF-8 sequence, is drawn as a solid block (which no digit
// resembles). A title that ends in "°C" or "°F" has that on the bottom line and the rest on the top
// line; any other title is all on the top line. A line too wide for the icon is drawn with narrower
// digits, and if it is still too wide, from the left edge and cut at the right one. A reading over
// "°F" ("-?[0-9]+\.[0-9]") is drawn in whole degrees, rounded half away from zero, where no font
// fits the widest reading of as many digits (at 16 pixels, "212.5" as "213" and "-10.5" as "-11",
// but "99.9" as it is). An empty title gives a fully transparent icon. The strokes are
// kTitleIconStroke, or in the warning style kTitleIconWarningStroke; everything else is the same
// in both.
TitleIcon drawTitleIcon(std::string_view title, int size, TitleStyle style = TitleStyle::normal);

// The themed icon hosts that read only IconName show (a thermometer), and where the bundle keeps
// it: under Contents/, a folder in the hicolor theme's layout (hicolor/<N>x<N>/apps/<name>.png at
// 16, 22, 24, 32, 48 and 64 pixels), as an item's IconThemePath names it. GTK's hosts (Ayatana's
// service, GNOME's extension) add that folder after their own search path and find the sizes there
// through the system's hicolor index.theme; LXQt's tray searches hicolor/*/*/ in it itself; KDE's
// reads it only when its last folder is "icons". The system's hicolor theme has it too, installed.
inline constexpr char kThermometerIconName[] = "org.quorvel.Quorvel-thermometer";
// Its warning variant, beside it in the same folders: the item's attention icon on those hosts.
inline constexpr char kHotThermometerIconName[] = "org.quorvel.Quorvel-thermometer-hot";
inline constexpr char kBundleIconThemeFolder[] = "Resources/icons";

}  // namespace tray
