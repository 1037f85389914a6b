#include "xdg/key_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <utility>

using xdg::KeyFile;
using namespace std::literals;

namespace {

// Texts written back byte for byte, changed or not, and texts refused with why. The autostart
// entry's and the settings' tests change the files that readers meet in the field.
TEST(KeyFile, IsWrittenBackAsReadOrRefusedWithWhy) {
  const std::string_view kept[] = {
      "", "[A]\nK=v",
      "# mine\n\n[A]\nKey = spaced\nName[de_DE.UTF-8@euro]=x\n  \n\t# caf\xC3\xA9\nV=a\\sb\\;\n"};
  std::string problem;
  for (const auto text : kept) EXPECT_EQ(KeyFile::parse(text, problem).value().text(), text);

  auto file = KeyFile::parse("[A]\nK = \\sa\\tb\\\\c\\;d\\\nL=2", problem).value();
  EXPECT_EQ(file.value("A", "K"), " a\tb\\c\\;d\\");  // a backslash of no escape stays
  EXPECT_TRUE(file.remove("A", "L"));
  EXPECT_TRUE(file.set("B", "Name[fr]", " \xC3\xA9t\xC3\xA9\\\n\t\r "));
  EXPECT_EQ(file.text(),
            "[A]\nK = \\sa\\tb\\\\c\\;d\\\n\n[B]\nName[fr]=\\s\xC3\xA9t\xC3\xA9\\\\\\n\\t\\r\\s\n");
  EXPECT_EQ(KeyFile::parse(file.text(), problem).value().value("B", "Name[fr]"),
            " \xC3\xA9t\xC3\xA9\\\n\t\r ");
  for (const auto& [group, key, value] :
       {std::tuple("A]", "K", "v"), std::tuple("A", "K=", "v"), std::tuple("A", " K", "v"),
        std::tuple("A", "", "v"), std::tuple("A", "K", "caf\xE9")}) {
    EXPECT_FALSE(file.set(group, key, value)) << group << key << value;
  }
  EXPECT_FALSE(file.set("A", "K", "a\0b"sv));

  const std::pair<std::string_view, const char*> refused[] = {
      {"[A]\nK=1\n\xC3(\n", "line 3 is not UTF-8 text"},
      {"[A]\nK=\xED\xA0\x80\n", "line 2 is not UTF-8 text"},  // a surrogate
      {"[A]\nK=a\0b\n"sv, "line 2 is not UTF-8 text"},
      {"[A]\njust words\n", "line 2 is neither a comment, a group header nor an entry"},
      {"[A]\r\nK=1\r\n", "line 1 is neither"},
      {"[A\n", "line 1 is neither"},
      {"[A]\nName[]=x\n", "line 2 is neither"},
      {"K=1\n[A]\n", "line 1: an entry before the first group"},
      {"[A]\n[B]\n[A]\n", "line 3: the group [A] a second time"},
      {"[A]\nK=1\nK =2\n", "line 3: the key K a second time in [A]"},
  };
  for (const auto& [text, why] : refused) {
    EXPECT_FALSE(KeyFile::parse(text, problem)) << text;
    EXPECT_EQ(problem.substr(0, std::string_view(why).size()), why);
  }
}

}  // namespace
