#include "appkit/info_dictionary.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/hostile_plists.h"
#include "support/info_plist.h"
#include "support/temp_dir.h"

using appkit::InfoDictionary;
using appkit::textFloatValue;

namespace {

std::optional<float> intervalIn(const std::string& bytes) {
  return InfoDictionary::fromBytes(bytes).floatValue("interval");
}

}  // namespace

TEST(TextFloatValue, ReadsTheLongestNumericPrefixAfterWhiteSpace) {
  EXPECT_FLOAT_EQ(textFloatValue("2.5"), 2.5f);
  EXPECT_FLOAT_EQ(textFloatValue(" 2.5"), 2.5f);
  EXPECT_FLOAT_EQ(textFloatValue("\t\n 2.5"), 2.5f);
  EXPECT_FLOAT_EQ(textFloatValue("2.5s"), 2.5f);
  EXPECT_FLOAT_EQ(textFloatValue("2.5.7"), 2.5f);
  EXPECT_FLOAT_EQ(textFloatValue("-3"), -3.0f);
  EXPECT_FLOAT_EQ(textFloatValue("+4"), 4.0f);
  EXPECT_FLOAT_EQ(textFloatValue(".5"), 0.5f);
  EXPECT_FLOAT_EQ(textFloatValue("5."), 5.0f);
  EXPECT_FLOAT_EQ(textFloatValue("1e1"), 10.0f);
  EXPECT_FLOAT_EQ(textFloatValue("2.5E-1x"), 0.25f);
}

TEST(TextFloatValue, GivesZeroWithoutANumber) {
  for (const char* text : {"abc", "", "   ", ".", "-", "+.", "s2.5", "e5"}) {
    EXPECT_EQ(textFloatValue(text), 0.0f) << '"' << text << '"';
  }
}

TEST(TextFloatValue, AnExponentWithoutDigitsIsNotPartOfTheNumber) {
  EXPECT_FLOAT_EQ(textFloatValue("3e"), 3.0f);
  EXPECT_FLOAT_EQ(textFloatValue("3e+"), 3.0f);
  EXPECT_FLOAT_EQ(textFloatValue("3E-x"), 3.0f);
}

TEST(TextFloatValue, ReadsNoHexadecimalInfinityOrNan) {
  EXPECT_EQ(textFloatValue("0x10"), 0.0f);  // "0", then text
  EXPECT_EQ(textFloatValue("inf"), 0.0f);
  EXPECT_EQ(textFloatValue("nan"), 0.0f);
}

TEST(TextFloatValue, OverflowIsAnInfinityOfItsSignAndUnderflowIsZero) {
  EXPECT_EQ(textFloatValue("1e39"), std::numeric_limits<float>::infinity());   // past float
  EXPECT_EQ(textFloatValue("1e400"), std::numeric_limits<float>::infinity());  // past double
  EXPECT_EQ(textFloatValue("-1e400"), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(textFloatValue("99999999999999999999e99999999999"),
            std::numeric_limits<float>::infinity());
  EXPECT_EQ(textFloatValue("1e-400"), 0.0f);
  EXPECT_EQ(textFloatValue("0.0000001e-400"), 0.0f);
  EXPECT_EQ(textFloatValue("0e999999"), 0.0f);
}

TEST(InfoDictionaryValue, NumbersGiveTheirValue) {
  EXPECT_FLOAT_EQ(*intervalIn(infoPlist("<real>2.5</real>")), 2.5f);
  EXPECT_FLOAT_EQ(*intervalIn(infoPlist("<integer>3</integer>")), 3.0f);
  EXPECT_FLOAT_EQ(*intervalIn(infoPlist("<integer>-2</integer>")), -2.0f);
  EXPECT_FLOAT_EQ(*intervalIn(infoPlist("<real>0</real>")), 0.0f);
  // Too large for a float: an infinity, never an undefined conversion.
  EXPECT_EQ(*intervalIn(infoPlist("<real>1e300</real>")), std::numeric_limits<float>::infinity());
}

TEST(InfoDictionaryValue, TextsConvertAsFloatValueDoes) {
  EXPECT_FLOAT_EQ(*intervalIn(infoPlist("<string>2.5</string>")), 2.5f);
  EXPECT_FLOAT_EQ(*intervalIn(infoPlist("<string> 2.5</string>")), 2.5f);
  EXPECT_FLOAT_EQ(*intervalIn(infoPlist("<string>2.5s</string>")), 2.5f);
  EXPECT_EQ(*intervalIn(infoPlist("<string>abc</string>")), 0.0f);
  EXPECT_EQ(*intervalIn(infoPlist("<string></string>")), 0.0f);
}

TEST(InfoDictionaryValue, BooleansAreOneOrZero) {
  EXPECT_EQ(*intervalIn(infoPlist("<true/>")), 1.0f);
  EXPECT_EQ(*intervalIn(infoPlist("<false/>")), 0.0f);
}

TEST(InfoDictionaryValue, OtherTypesAndAMissingKeyAreAbsent) {
  EXPECT_FALSE(intervalIn(infoPlist("<dict><key>a</key><real>2</real></dict>")));
  EXPECT_FALSE(intervalIn(infoPlist("<array><real>2</real></array>")));
  EXPECT_FALSE(intervalIn(infoPlist("<date>2026-01-01T00:00:00Z</date>")));
  EXPECT_FALSE(intervalIn(infoPlist("<data>AAEC</data>")));
  EXPECT_FALSE(intervalIn(xmlPlist("<dict><key>CFBundleName</key><string>Q</string></dict>")));
  // Keys are matched exactly.
  EXPECT_FALSE(intervalIn(xmlPlist("<dict><key>Interval</key><real>2</real></dict>")));
}

TEST(InfoDictionaryValue, ABrokenOrForeignFileHasNoKeys) {
  EXPECT_TRUE(InfoDictionary::fromBytes("").empty());
  EXPECT_TRUE(InfoDictionary::fromBytes("interval = 2.5\n").empty());
  EXPECT_TRUE(InfoDictionary::fromBytes(infoPlist("<real>2.5</real>").substr(0, 200)).empty());
  EXPECT_TRUE(InfoDictionary::fromBytes(xmlPlist("<dict><key>interval</key></dict")).empty());
  EXPECT_TRUE(InfoDictionary::fromBytes("bplist00garbage-garbage-garbage-garbage").empty());
  // A property list whose root is not a dictionary is no information dictionary.
  EXPECT_TRUE(InfoDictionary::fromBytes(xmlPlist("<array><real>2</real></array>")).empty());
  EXPECT_TRUE(InfoDictionary::fromBytes(xmlPlist("<real>2</real>")).empty());
  EXPECT_FALSE(InfoDictionary().floatValue("interval"));
}

TEST(InfoDictionaryValue, ReadsBinaryPropertyLists) {
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "interval", plist_new_real(0.75));
  plist_dict_set_item(dict, "count", plist_new_uint(7));
  plist_dict_set_item(dict, "text", plist_new_string(" 1.5s"));
  plist_dict_set_item(dict, "flag", plist_new_bool(1));
  plist_dict_set_item(dict, "list", plist_new_array());
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(dict, &bytes, &length);
  plist_free(dict);
  ASSERT_NE(bytes, nullptr);
  const std::string binary(bytes, length);
  plist_to_bin_free(bytes);
  ASSERT_EQ(binary.substr(0, 6), "bplist");

  const auto info = InfoDictionary::fromBytes(binary);
  EXPECT_FLOAT_EQ(*info.floatValue("interval"), 0.75f);
  EXPECT_FLOAT_EQ(*info.floatValue("count"), 7.0f);
  EXPECT_FLOAT_EQ(*info.floatValue("text"), 1.5f);
  EXPECT_EQ(*info.floatValue("flag"), 1.0f);
  EXPECT_FALSE(info.floatValue("list"));
  EXPECT_FALSE(info.floatValue("missing"));
}

TEST(InfoDictionaryValue, OnlyWhatAnInfoPlistCanBeIsRead) {
  // libplist unfolds each reference of a binary list anew and recurses at every level; a few
  // hundred bytes could take it hours, deep nesting its stack. Run under AddressSanitizer too.
  const std::string nestedXml = xmlNest(1000);  // as deep as the size allows
  struct Case {
    const char* what;
    std::string bytes;
    bool read;
  };
  const Case cases[] = {
      {"binary, nested 60 levels", binaryNest(60, 1), true},
      {"binary, nested 70 levels", binaryNest(70, 1), false},
      {"binary, 10 levels of pairs: 2047 objects", binaryNest(10, 2), true},
      {"binary, 12 levels of pairs: 8191 objects", binaryNest(12, 2), false},
      {"binary, 40 levels of pairs: a trillion objects", binaryNest(40, 2), false},
      {"binary, 10 references to a text of 1000 characters", binaryTextFan(10, 1000), true},
      {"binary, 4000 references to a text of 1000 characters", binaryTextFan(4000, 1000), false},
      {"binary, an array inside itself", binaryNest(1, 1).replace(41, 2, bigEndian(4, 2)), false},
      {"XML nested 1000 levels", nestedXml, true},
      {"XML past 16 KiB", infoPlist("<real>2.5</real>") + std::string(16 << 10, ' '), false},
  };
  for (const auto& [what, bytes, read] : cases) {
    EXPECT_EQ(intervalIn(bytes).has_value(), read) << what << ", " << bytes.size() << " bytes";
  }
}

TEST(InfoDictionaryFile, MissingUnreadableOrOversizedFilesHaveNoKeys) {
  TempDir dir;
  EXPECT_TRUE(InfoDictionary::fromFile((dir.path() / "Info.plist").string()).empty());
  EXPECT_TRUE(InfoDictionary::fromFile(dir.path().string()).empty());  // a folder, not a file
  const auto large =
      dir.write("Large.plist", infoPlist("<real>2</real>") + std::string(2 << 20, '\n'));
  EXPECT_TRUE(InfoDictionary::fromFile(large.string()).empty());
  const auto good = dir.write("Info.plist", infoPlist("<real>2</real>"));
  EXPECT_FLOAT_EQ(*InfoDictionary::fromFile(good.string()).floatValue("interval"), 2.0f);
}
