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
  // As GLib's reader takes them: CR LF, a byte order mark, a key or a group twice (the last key
  // counts), text that is not UTF-8 in a comment or a value.
  const std::string_view kept[] = {
      "", "[A]\nK=v",
      "# mine\n\n[A]\nKey = spaced\nName[de_DE.UTF-8@euro]=x\n  \n\t# caf\xC3\xA9\nV=a\\sb\\;\n",
      "\xEF\xBB\xBF# caf\xE9\r\n[A]\r\nK=1\r\n\f K y\t= caf\xE9\r\n[B]\r\n[A] \r\nK=2\r\n"};
  std::string problem;
  for (const auto text : kept) EXPECT_EQ(KeyFile::parse(text, problem).value().text(), text);
  auto twice = KeyFile::parse(kept[3], problem).value();
  EXPECT_EQ(twice.value("A", "K"), "2");
  EXPECT_TRUE(twice.set("A", "K", "3") && twice.set("A", "L", "4") && !twice.remove("B", "K"));
  EXPECT_EQ(twice.text(), std::string(kept[3]).replace(kept[3].size() - 3, 1, "3\r\nL=4"));
  EXPECT_TRUE(twice.remove("A", "K") && !twice.value("A", "K"));

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
        std::tuple("A", "", "v"), std::tuple("A", "K", "caf\xE9"), std::tuple("A", "K", "\fv")}) {
    EXPECT_FALSE(file.set(group, key, value)) << group << key << value;
  }
  EXPECT_FALSE(file.set("A", "K", "a\0b"sv));

  const std::pair<std::string_view, const char*> refused[] = {
      {"[A]\nK=1\n\xC3(\n", "line 3 is neither"},
      {"[A]\nK\xED\xA0\x80=1\n",
       "line 2: a key holds a bracket or a control character, or is "
       "not UTF-8"},  // a surrogate
      {"[A]\nK=a\0b\n"sv, "line 2 holds a NUL byte"},
      {"[A]\njust words\n", "line 2 is neither a comment, a group header nor an entry"},
      {"[A]\r\n[B]\r", "line 2 is neither"},
      {"[A\n", "line 1 is neither"},
      {"[A] x\n", "line 1 is neither"},
      {"[A]\n\v#\n", "line 2 is neither"},
      {"[A]\nName[de fr]=x\n", "line 2: a key holds a bracket or a control character"},
      {"K=1\n[A]\n", "line 1: an entry before the first group"},
      {"[A\tB]\n", "line 1: a group name holds a bracket or a control character"},
      {"[A]\nK]=2\n", "line 2: a key holds"},
  };
  for (const auto& [text, why] : refused) {
    EXPECT_FALSE(KeyFile::parse(text, problem)) << text;
    EXPECT_EQ(problem.substr(0, std::string_view(why).size()), why);
  }
}

}  // namespace
