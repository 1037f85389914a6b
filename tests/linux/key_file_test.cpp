#include "appkit/key_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

using appkit::KeyFile;
using namespace std::literals;

namespace {

// A text read, changed (a key set to a value, or removed when value is null; nothing when key is
// null) and written back: the text expected, or why it is no key file.
struct Change {
  std::string_view text;
  const char* group;
  const char* key;
  const char* value;
  const char* expected;  // the text written back, or a part of the problem
  bool parses = true;
};

const Change kChanges[] = {
    // Read and written back as they are: comments, blank lines, spacing, locales, escapes.
    {"# mine\n\n[A]\nKey = spaced\nName[de_DE.UTF-8@euro]=x\n  \n\t# indented\nV=a\\sb\\\\c\\;\n",
     "A", nullptr, nullptr,
     "# mine\n\n[A]\nKey = spaced\nName[de_DE.UTF-8@euro]=x\n  \n\t# "
     "indented\nV=a\\sb\\\\c\\;\n"},
    {"", "A", nullptr, nullptr, ""},
    {"[A]\nK=v", "A", nullptr, nullptr, "[A]\nK=v"},
    {"# caf\xC3\xA9\n[A]\nName=\xE2\x82\xAC\n", "A", nullptr, nullptr,
     "# caf\xC3\xA9\n[A]\nName=\xE2\x82\xAC\n"},
    // Set in place, keeping what comes before the value.
    {"[A]\nK = old\nL=1\n", "A", "K", "new", "[A]\nK = new\nL=1\n"},
    // Added after the group's last entry, before the comment that heads the next group.
    {"[A]\nK=1\n\n# B's\n[B]\nK=2\n", "A", "L", "2", "[A]\nK=1\nL=2\n\n# B's\n[B]\nK=2\n"},
    {"[A]\n# only a comment\n", "A", "K", "v", "[A]\nK=v\n# only a comment\n"},
    // A missing group at the end, after a blank line; a last line without a line feed gets one.
    {"[A]\nK=1", "B", "K", "v", "[A]\nK=1\n\n[B]\nK=v\n"},
    {"", "Quorvel", "Sensor", "x", "[Quorvel]\nSensor=x\n"},
    // Escaped as written: backslashes, line ends, tabs, and spaces at either end.
    {"[A]\n", "A", "K", " a\\b\nc\td\r ", "[A]\nK=\\sa\\\\b\\nc\\td\\r\\s\n"},
    {"[A]\n", "A", "Name[fr]", "\xC3\xA9t\xC3\xA9", "[A]\nName[fr]=\xC3\xA9t\xC3\xA9\n"},
    // Removed, the rest as it was; the line feed before a removed last line stays.
    {"[A]\nK=1\nL=2\n", "A", "K", nullptr, "[A]\nL=2\n"},
    {"[A]\nK=1\nL=2", "A", "L", nullptr, "[A]\nK=1\n"},
    {"[A]\nK=1\n[B]\nL=2\n", "B", "K", nullptr, "[A]\nK=1\n[B]\nL=2\n"},
    // Not key files.
    {"[A]\nK=1\n\xC3(\n", nullptr, nullptr, nullptr, "line 3 is not UTF-8 text", false},
    {"[A]\nK=\xED\xA0\x80\n", nullptr, nullptr, nullptr, "line 2 is not UTF-8 text", false},
    {"[A]\nK=a\0b\n"sv, nullptr, nullptr, nullptr, "line 2 is not UTF-8 text", false},
    {"[A]\njust words\n", nullptr, nullptr, nullptr,
     "line 2 is neither a comment, a group header nor an entry", false},
    {"[A]\r\nK=1\r\n", nullptr, nullptr, nullptr,
     "line 1 is neither a comment, a group header nor an entry", false},
    {"[A\n", nullptr, nullptr, nullptr, "line 1 is neither", false},
    {"[A]\nName[]=x\n", nullptr, nullptr, nullptr, "line 2 is neither", false},
    {"K=1\n[A]\n", nullptr, nullptr, nullptr, "line 1: an entry before the first group", false},
    {"[A]\n[B]\n[A]\n", nullptr, nullptr, nullptr, "line 3: the group [A] a second time", false},
    {"[A]\nK=1\nK =2\n", nullptr, nullptr, nullptr, "line 3: the key K a second time in [A]",
     false},
};

// Each text read, changed and written back, the value set read back through the text; and what is
// not a key file refused with why.
TEST(KeyFile, ReadChangedAndWrittenBackAsTheUserWroteIt) {
  for (const Change& change : kChanges) {
    const std::string text(change.text);
    SCOPED_TRACE(text);
    std::string problem;
    auto file = KeyFile::parse(text, problem);
    if (!change.parses) {
      EXPECT_FALSE(file);
      EXPECT_NE(problem.find(change.expected), std::string::npos) << problem;
      continue;
    }
    ASSERT_TRUE(file) << problem;
    if (change.key && change.value) {
      EXPECT_TRUE(file->set(change.group, change.key, change.value));
    } else if (change.key) {
      const bool removed = file->remove(change.group, change.key);
      EXPECT_EQ(removed, text != file->text());
    }
    EXPECT_EQ(file->text(), change.expected);
    const auto again = KeyFile::parse(file->text(), problem);
    ASSERT_TRUE(again) << problem;
    if (change.key) {
      EXPECT_EQ(again->value(change.group, change.key),
                change.value ? std::optional<std::string>(change.value) : std::nullopt);
    }
  }
  // Values read with their escapes undone; another backslash stays as it is.
  std::string problem;
  const auto file = KeyFile::parse("[A]\nK = \\sa\\tb\\\\c\\;d\\\nName[de]=x\n", problem);
  ASSERT_TRUE(file) << problem;
  EXPECT_EQ(file->value("A", "K"), " a\tb\\c\\;d\\");
  EXPECT_EQ(file->value("A", "Name[de]"), "x");
  EXPECT_EQ(file->value("A", "Name"), std::nullopt);
  EXPECT_EQ(file->value("B", "K"), std::nullopt);
  // What could not be read back is not set.
  KeyFile edited = *file;
  EXPECT_FALSE(edited.set("A]", "K", "v"));
  EXPECT_FALSE(edited.set("A", "K=", "v"));
  EXPECT_FALSE(edited.set("A", " K", "v"));
  EXPECT_FALSE(edited.set("A", "", "v"));
  EXPECT_FALSE(edited.set("A", "K", "caf\xE9"));
  EXPECT_FALSE(edited.set("A", "K", std::string("a\0b", 3)));
  EXPECT_EQ(edited.text(), file->text());
}

}  // namespace
