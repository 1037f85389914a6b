// The images in resources/ are the drawing program's output, byte for byte, and are PNGs of the
// menu bar's template sizes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/linux/temp_dir.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint32_t bigEndian(const std::string& bytes, std::size_t offset) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

}  // namespace

TEST(Logo, ResourcesHoldWhatTheDrawingProgramDraws) {
  TempDir dir;
  const std::string command = std::string(QUORVEL_DRAW_LOGO) + " " + dir.path().string();
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name : {"quorvel-logo-alt.png", "quorvel-logo-alt@2x.png"}) {
    const auto drawn = readFile(dir.path() / name);
    ASSERT_FALSE(drawn.empty()) << name;
    EXPECT_EQ(drawn, readFile(std::filesystem::path(QUORVEL_SOURCE_DIR) / "resources" / name))
        << name << " in resources/ differs from the drawing; redraw it (target quorvel_logo)";
  }
}

TEST(Logo, IsAnRgbaPngOfEighteenAndThirtySixPixels) {
  for (const auto& [name, size] :
       {std::pair{"quorvel-logo-alt.png", 18u}, std::pair{"quorvel-logo-alt@2x.png", 36u}}) {
    const auto png = readFile(std::filesystem::path(QUORVEL_SOURCE_DIR) / "resources" / name);
    ASSERT_GE(png.size(), 33u) << name;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(bigEndian(png, 16), size);
    EXPECT_EQ(bigEndian(png, 20), size);
    EXPECT_EQ(png[24], 8);  // bits per channel
    EXPECT_EQ(png[25], 6);  // RGBA
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
  }
}
