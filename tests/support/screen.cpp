#include "support/screen.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

uint32_t Screen::pixel(int x, int y) const {
  const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
  return uint32_t{rgb[at]} << 16 | uint32_t{rgb[at + 1]} << 8 | rgb[at + 2];
}

Screen readScreen(const std::filesystem::path& ppm) {
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int maximum = 0;
  Screen screen;
  in >> magic >> screen.width >> screen.height >> maximum;
  in.get();  // the one white space before the pixels
  if (!in || magic != "P6" || maximum != 255 || screen.width <= 0 || screen.height <= 0) {
    throw std::runtime_error(ppm.string() + " is not an 8-bit PPM");
  }
  screen.rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  screen.rgb.resize(static_cast<std::size_t>(screen.width) * screen.height * 3);
  return screen;
}

namespace {

// The pixel the screen shows for argb over background.
uint32_t composited(uint32_t argb, uint32_t background) {
  const uint32_t alpha = argb >> 24;
  uint32_t rgb = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t over = (argb >> shift) & 0xff, under = (background >> shift) & 0xff;
    rgb |= ((over * alpha + under * (255 - alpha) + 127) / 255) << shift;
  }
  return rgb;
}

}  // namespace

std::optional<Place> findPixmap(const Screen& screen, const Pixmap& pixmap,
                                std::optional<uint32_t> background) {
  // The pixels to compare and what each must show: a pixmap with nothing opaque matches nowhere.
  struct Expected {
    int dx, dy;
    uint32_t rgb;
  };
  std::vector<Expected> expected;
  for (int i = 0; i < pixmap.width * pixmap.height; ++i) {
    const uint32_t argb = pixmap.argb.at(static_cast<std::size_t>(i));
    if (background) {
      expected.push_back({i % pixmap.width, i / pixmap.width, composited(argb, *background)});
    } else if (argb >> 24 == 0xff) {
      expected.push_back({i % pixmap.width, i / pixmap.width, argb & 0xffffff});
    }
  }
  if (expected.empty()) return std::nullopt;
  for (int y = 0; y + pixmap.height <= screen.height; ++y) {
    for (int x = 0; x + pixmap.width <= screen.width; ++x) {
      bool same = true;
      for (std::size_t i = 0; same && i < expected.size(); ++i) {
        same = screen.pixel(x + expected[i].dx, y + expected[i].dy) == expected[i].rgb;
      }
      if (same) return Place{x, y};
    }
  }
  return std::nullopt;
}
