// The images in resources/ are the drawing program's output, byte for byte: the alternate image
// at the menu bar's template sizes and the application icon in the hicolor theme's layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "support/png_check.h"
#include "support/read_file.h"
#include "support/temp_dir.h"

namespace {

const std::filesystem::path kResources = std::filesystem::path(QUORVEL_SOURCE_DIR) / "resources";

// Every file under root, as paths relative to root.
std::set<std::filesystem::path> filesUnder(const std::filesystem::path& root) {
  std::set<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(root));
  }
  return files;
}

}  // namespace

TEST(Logo, ResourcesHoldWhatTheDrawingProgramDraws) {
  TempDir dir;
  const std::string command = std::string(QUORVEL_DRAW_LOGO) + " " + dir.path().string();
  ASSERT_EQ(std::system(command.c_str()), 0);

  // Nothing drawn is missing from resources/, and resources/icons holds nothing undrawn.
  std::set<std::filesystem::path> kept = {"quorvel-logo-alt.png", "quorvel-logo-alt@2x.png"};
  for (const auto& icon : filesUnder(kResources / "icons")) kept.insert("icons" / icon);
  const auto drawn = filesUnder(dir.path());
  EXPECT_EQ(drawn, kept);

  for (const auto& name : drawn) {
    const auto bytes = readFile(dir.path() / name);
    ASSERT_TRUE(bytes && !bytes->empty()) << name;
    EXPECT_EQ(bytes, readFile(kResources / name))
        << name << " in resources/ differs from the drawing; redraw it (target quorvel_logo)";
  }
}

// Each icon is as large as its folder says; the theme's minimum (48 x 48) and a size that software
// centres take (64 x 64 or larger) are there.
TEST(Logo, ApplicationIconsFitTheHicolorTheme) {
  const auto icons = filesUnder(kResources / "icons");
  bool minimum = false, large = false;
  for (const auto& icon : icons) {
    ASSERT_EQ(icon.filename(), "org.quorvel.Quorvel.png") << icon;
    const std::string folder = icon.parent_path().parent_path().filename().string();
    const PngCheck png = checkPngFile(kResources / "icons" / icon);
    ASSERT_TRUE(png.valid) << icon << ": " << png.error;
    const std::string side = std::to_string(png.header.width);
    EXPECT_EQ(folder, side + "x" + std::to_string(png.header.height)) << icon;
    EXPECT_EQ(icon.parent_path().filename(), "apps") << icon;
    minimum = minimum || folder == "48x48";
    large = large || png.header.width >= 64;
  }
  EXPECT_TRUE(minimum);
  EXPECT_TRUE(large);
}
