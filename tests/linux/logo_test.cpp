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
