// Draws contact sheets of the tray item's icon, to judge its fonts by looking: typical titles (and
// the widest ones) in °C and in °F, and in the warning style, at every size, side by side, enlarged
// pixel for pixel, on a dark and on a light panel.
//
//   quorvel_title_icon_sheet <folder> [scale]   writes <folder>/title-icons-dark.png and
//                                               <folder>/title-icons-light.png (scale: 8)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "png/png_writer.h"
#include "tray/title_icon.h"

namespace {

using tray::kTitleIconSizes;
using tray::TitleStyle;

// A row of the sheet: a title at every size, in one style.
struct Row {
  std::string_view title;
  TitleStyle style = TitleStyle::normal;
};

constexpr Row kRows[] = {
    {"47.8\u00b0C"},
    {"100.0\u00b0C"},
    {"-10.5\u00b0C"},
    {"0.0\u00b0C"},
    {"88.8\u00b0C"},
    {"23.4\u00b0C"},
    {"56.9\u00b0C"},
    {"71.2\u00b0C"},
    {"118.4\u00b0F"},
    {"-4.0\u00b0F"},
    {"98.6\u00b0F"},
    {"188.8\u00b0F"},
    {"212.0\u00b0F"},
    {"-40.0\u00b0F"},
    {"96.5\u00b0C", TitleStyle::warning},
    {"100.0\u00b0C", TitleStyle::warning},
    {"205.7\u00b0F", TitleStyle::warning},
};
constexpr std::size_t kGap = 6;  // pixels between icons and around them, before enlarging

// The sheet on one background colour (0xRRGGBB), each pixel enlarged to scale x scale.
png::Bytes drawSheet(uint32_t background, std::size_t scale) {
  const auto largest =
      static_cast<std::size_t>(*std::max_element(kTitleIconSizes.begin(), kTitleIconSizes.end()));
  std::size_t width = kGap;
  for (const int size : kTitleIconSizes) width += static_cast<std::size_t>(size) + kGap;
  const std::size_t height = kGap + (std::size(kRows) * (largest + kGap));
  std::vector<uint32_t> sheet(width * height, background);
  std::size_t top = kGap;
  for (const Row& row : kRows) {
    std::size_t left = kGap;
    for (const int size : kTitleIconSizes) {
      const tray::TitleIcon icon = tray::drawTitleIcon(row.title, size, row.style);
      const auto side = static_cast<std::size_t>(icon.size);
      for (std::size_t y = 0; y < side; ++y) {
        for (std::size_t x = 0; x < side; ++x) {
          const uint32_t pixel = icon.pixels[(y * side) + x];
          // Every pixel of the icon is opaque or fully transparent.
          if (pixel >> 24 != 0) sheet[((top + y) * width) + left + x] = pixel & 0xFFFFFF;
        }
      }
      left += side + kGap;
    }
    top += largest + kGap;
  }
  std::vector<uint8_t> rows;
  for (std::size_t y = 0; y < height * scale; ++y) {
    rows.push_back(0);
    for (std::size_t x = 0; x < width * scale; ++x) {
      const uint32_t pixel = sheet[(y / scale * width) + (x / scale)];
      rows.insert(rows.end(), {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                               static_cast<uint8_t>(pixel), 255});
    }
  }
  return png::rgba(static_cast<uint32_t>(width * scale), static_cast<uint32_t>(height * scale),
                   rows);
}

}  // namespace

int main(int argc, char* argv[]) {
  const int scale = argc == 3 ? std::atoi(argv[2]) : 8;
  if (argc < 2 || argc > 3 || scale < 1 || scale > 32) {
    std::fprintf(stderr, "usage: quorvel_title_icon_sheet <folder> [scale 1-32]\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  // A dark panel (Adwaita's dark headers, Breeze Dark) and a light one (Xfce's and MATE's grey).
  const std::pair<const char*, uint32_t> sheets[] = {{"title-icons-dark.png", 0x2D2D2D},
                                                     {"title-icons-light.png", 0xE8E8E7}};
  for (const auto& [name, background] : sheets) {
    const png::Bytes bytes = drawSheet(background, static_cast<std::size_t>(scale));
    std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
      std::fprintf(stderr, "quorvel_title_icon_sheet: cannot write %s\n", (folder / name).c_str());
      return 1;
    }
  }
  return 0;
}
