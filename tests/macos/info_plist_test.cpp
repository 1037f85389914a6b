// The bundle's Info.plist, as macOS reads it at launch: it must parse, and hold what makes the
// program a menu-bar agent that loads its main interface.
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "support/read_file.h"

namespace {

struct PlistDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistDeleter>;

Plist readPlist(const std::filesystem::path& path) {
  const std::string text = readFile(path).value_or("");
  plist_t root = nullptr;
  if (!text.empty()) plist_from_memory(text.data(), static_cast<uint32_t>(text.size()), &root);
  return Plist(root);
}

class InfoPlist : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = readPlist(QUORVEL_INFO_PLIST);
    ASSERT_NE(root_, nullptr) << QUORVEL_INFO_PLIST << " does not parse as a property list";
    ASSERT_EQ(plist_get_node_type(root_.get()), PLIST_DICT);
  }

  plist_t item(const char* key) const { return plist_dict_get_item(root_.get(), key); }

  // The text under key, or nullopt when the key is absent or holds another type.
  std::optional<std::string> text(const char* key) const {
    plist_t node = item(key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string result = value != nullptr ? value : "";
    free(value);
    return result;
  }

 private:
  Plist root_;
};

}  // namespace

TEST_F(InfoPlist, NamesTheBundleAndItsExecutable) {
  const auto identifier = text("CFBundleIdentifier");
  ASSERT_TRUE(identifier.has_value());
  // Reverse-DNS: at least two dot-separated parts, no spaces.
  EXPECT_NE(identifier->find('.'), std::string::npos) << *identifier;
  EXPECT_EQ(identifier->find(' '), std::string::npos) << *identifier;
  EXPECT_EQ(text("CFBundleName"), "Quorvel");
  EXPECT_EQ(text("CFBundleExecutable"), "quorvel");
  EXPECT_EQ(text("CFBundlePackageType"), "APPL");
}

TEST_F(InfoPlist, CarriesTheProjectsVersion) {
  EXPECT_EQ(text("CFBundleShortVersionString"), QUORVEL_VERSION);
  const auto build = text("CFBundleVersion");
  ASSERT_TRUE(build.has_value());
  EXPECT_FALSE(build->empty());
}

TEST_F(InfoPlist, LaunchesAsAnAgentWithItsMainInterface) {
  EXPECT_EQ(text("LSMinimumSystemVersion"), "10.10");
  EXPECT_EQ(text("NSPrincipalClass"), "NSApplication");
  const auto nib = text("NSMainNibFile");
  EXPECT_EQ(nib, "MainMenu");
  if (nib) {
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(QUORVEL_RESOURCES) / (*nib + ".xib")))
        << "no resources/" << *nib << ".xib to compile into the named nib";
  }

  plist_t agent = item("LSUIElement");
  ASSERT_NE(agent, nullptr) << "LSUIElement is missing: the program would show in the Dock";
  ASSERT_EQ(plist_get_node_type(agent), PLIST_BOOLEAN);
  uint8_t isAgent = 0;
  plist_get_bool_val(agent, &isAgent);
  EXPECT_TRUE(isAgent);
}

TEST_F(InfoPlist, LeavesTheIntervalAtItsDefault) {
  EXPECT_EQ(item("interval"), nullptr);
}
