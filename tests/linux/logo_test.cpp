// The images in resources/ are the drawing program's output, byte for byte: the alternate image
// at the menu bar's template sizes, the application icon and the tray's thermometer, plain and hot,
// in the hicolor theme's layout; and the bundle holds both thermometers as the tray item names
// them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "support/png_check.h"
#include "support/read_file.h"
#include "support/temp_dir.h"
#include "tray/title_icon.h"

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

// Each icon is as large as its folder says. The application icon has the theme's minimum (48 x 48)
// and a size that software centres take (64 x 64 or larger); the tray's thermometers have the sizes
// panels draw, each size both.
TEST(Logo, IconsFitTheHicolorTheme) {
  const std::string application = "org.quorvel.Quorvel.png";
  const std::string thermometer = std::string(tray::kThermometerIconName) + ".png";
  const std::string hot = std::string(tray::kHotThermometerIconName) + ".png";
  std::set<std::string> applicationSizes, thermometerSizes, hotSizes;
  bool large = false;
  for (const auto& icon : filesUnder(kResources / "icons")) {
    const std::string name = icon.filename().string();
    ASSERT_TRUE(name == application || name == thermometer || name == hot) << icon;
    const std::string folder = icon.parent_path().parent_path().filename().string();
    const PngCheck png = checkPngFile(kResources / "icons" / icon);
    ASSERT_TRUE(png.valid) << icon << ": " << png.error;
    const std::string side = std::to_string(png.header.width);
    EXPECT_EQ(folder, side + "x" + std::to_string(png.header.height)) << icon;
    EXPECT_EQ(icon.parent_path().filename(), "apps") << icon;
    (name == application ? applicationSizes
     : name == hot       ? hotSizes
                         : thermometerSizes)
        .insert(folder);
    large = large || (name == application && png.header.width >= 64);
  }
  EXPECT_TRUE(applicationSizes.contains("48x48"));
  EXPECT_TRUE(large);
  for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48"}) {
    EXPECT_TRUE(thermometerSizes.contains(size)) << size;
  }
  EXPECT_EQ(hotSizes, thermometerSizes);
}

// The bundle holds the thermometers, and nothing else, in its icon theme folder, as resources/ has
// them: where a tray looks for them in the item's IconThemePath.
TEST(Logo, TheBundleHoldsTheThermometerInItsIconThemeFolder) {
  const std::filesystem::path folder =
      std::filesystem::path(QUORVEL_BUNDLE_CONTENTS) / tray::kBundleIconThemeFolder;
  const auto inBundle = filesUnder(folder);
  std::set<std::filesystem::path> thermometers;
  for (const auto& icon : filesUnder(kResources / "icons")) {
    if (icon.stem() == tray::kThermometerIconName || icon.stem() == tray::kHotThermometerIconName) {
      thermometers.insert(icon);
    }
  }
  EXPECT_EQ(inBundle, thermometers);
  for (const auto& icon : inBundle) {
    EXPECT_EQ(readFile(folder / icon), readFile(kResources / "icons" / icon)) << icon;
  }
}
