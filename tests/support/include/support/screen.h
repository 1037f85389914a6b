// A screen as a picture, read from the 8-bit PPM that ImageMagick's import and grim write, and
// where a tray item's pixmap shows on it at its own size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "support/session_bus.h"

struct Screen {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // rows from the top, three bytes a pixel

  uint32_t pixel(int x, int y) const;  // 0xRRGGBB
};

// The picture in a binary PPM file with 8 bits a channel; throws for anything else.
Screen readScreen(const std::filesystem::path& ppm);

struct Place {
  int x, y;
};

// Where the screen shows pixmap pixel for pixel, if anywhere. Over a known background every pixel
// is compared with the pixmap composited on it; without one only the opaque pixels count.
std::optional<Place> findPixmap(const Screen& screen, const Pixmap& pixmap,
                                std::optional<uint32_t> background = std::nullopt);
