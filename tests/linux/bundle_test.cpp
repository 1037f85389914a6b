#include "appkit/bundle.h"

#include <gtest/gtest.h>

#include "support/info_plist.h"
#include "support/temp_dir.h"

using appkit::Bundle;

TEST(BundleLocation, IsTheContentsOfTheAppAroundTheProgramIfAny) {
  const std::pair<const char*, const char*> cases[] = {
      {"/Quorvel.app/Contents/MacOS/quorvel", "/Quorvel.app/Contents"},
      {"/opt/lib/quorvel/Other.app/Contents/MacOS/x", "/opt/lib/quorvel/Other.app/Contents"},
      // Anywhere else there is no bundle, whatever lies two folders up.
      {"/tmp/x/quorvel", ""},
      {"/tmp/quorvel", ""},
      {"/MacOS/quorvel", ""},
      {"/Contents/MacOS/quorvel", ""},
      {"/.app/Contents/MacOS/quorvel", ""},
      {"/Quorvel.app/Contents/Resources/quorvel", ""},
      {"/Quorvel.apps/Contents/MacOS/quorvel", ""},
      {"quorvel", ""},
  };
  for (const auto& [executable, contents] : cases) {
    EXPECT_EQ(appkit::bundleContentsForExecutable(executable), contents) << executable;
  }
  // This test program lives in the build tree, in no bundle.
  Bundle running = Bundle::forRunningProgram();
  EXPECT_EQ(running.contents(), "");
  EXPECT_FALSE(running.infoDictionary().floatValue("interval"));
}

TEST(BundleImages, FindsResourcesPngAndItsDoubleSizeVariant) {
  TempDir dir;
  dir.write("Resources/logo.png", "png");
  dir.write("Resources/logo@2x.png", "png");
  dir.write("Resources/plain.png", "png");
  const Bundle bundle(dir.path().string());

  const auto logo = bundle.imageNamed("logo");
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->path(), (dir.path() / "Resources/logo.png").string());
  EXPECT_EQ(logo->path2x(), (dir.path() / "Resources/logo@2x.png").string());

  const auto plain = bundle.imageNamed("plain");
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(plain->path2x().empty());
}

TEST(BundleImages, AMissingImageOrAPathIsNoImage) {
  TempDir dir;
  dir.write("Resources/logo.png", "png");
  dir.write("secret.png", "png");
  std::filesystem::create_directories(dir.path() / "Resources/folder.png");
  const Bundle bundle(dir.path().string());
  EXPECT_EQ(bundle.imageNamed("missing"), nullptr);
  EXPECT_EQ(bundle.imageNamed(""), nullptr);
  EXPECT_EQ(bundle.imageNamed("../secret"), nullptr);
  EXPECT_EQ(bundle.imageNamed("folder"), nullptr);
  EXPECT_EQ(Bundle("").imageNamed("logo"), nullptr);
}

TEST(BundleInfo, IsReadOnceAndAMissingFileHasNoKeys) {
  TempDir dir;
  Bundle missing((dir.path() / "nowhere").string());
  EXPECT_FALSE(missing.infoDictionary().floatValue("interval"));

  dir.write("Info.plist", infoPlist("<real>2.5</real>"));
  Bundle bundle(dir.path().string());
  EXPECT_FLOAT_EQ(*bundle.infoDictionary().floatValue("interval"), 2.5f);
  // A later change to the file has no effect on the running program.
  dir.write("Info.plist", infoPlist("<real>9</real>"));
  EXPECT_FLOAT_EQ(*bundle.infoDictionary().floatValue("interval"), 2.5f);
}
