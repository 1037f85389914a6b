// The guard before libplist, on its own: each limit at its edge, and the malformed lists it must
// refuse before libplist sees them.
#include "appkit/binary_plist_limits.h"

#include <gtest/gtest.h>

#include <string>

#include "support/hostile_plists.h"

namespace {

// The list with one byte replaced (a negative position counts from the end).
std::string with(std::string bytes, long position, char value) {
  bytes[static_cast<std::size_t>(position < 0 ? static_cast<long>(bytes.size()) + position
                                              : position)] = value;
  return bytes;
}

// A flat array of count references to one integer: the dictionary's four objects, the array,
// the integer, so count + 5 objects once unfolded.
std::string flatArray(uint64_t count) {
  std::string array = "\xAF\x11" + bigEndian(count, 2);
  for (uint64_t i = 0; i < count; ++i) array += bigEndian(5, 2);
  return binaryPlistWithNest({array, "\x10\x05"});
}

}  // namespace

TEST(BinaryPlistLimits, ReadsWhatStaysWithinEachLimitAndRefusesTheRest) {
  using appkit::kMaxBinaryBytes;
  using appkit::kMaxBinaryDepth;
  using appkit::kMaxBinaryObjects;
  const int depth = static_cast<int>(kMaxBinaryDepth);
  // A text of n UTF-16 characters unfolds into 3n bytes; the keys "interval" and "nest" add 12.
  const int characters = static_cast<int>((kMaxBinaryBytes - 12) / 3);
  struct Case {
    const char* what;
    std::string bytes;
    bool within;
  };
  const Case cases[] = {
      {"one array", binaryNest(1, 1), true},
      {"one object referred to twice", binaryNest(1, 2), true},
      {"containers as deep as allowed", binaryNest(depth - 1, 1), true},
      {"one container deeper", binaryNest(depth, 1), false},
      {"as many objects as allowed", flatArray(kMaxBinaryObjects - 5), true},
      {"one object more", flatArray(kMaxBinaryObjects - 4), false},
      {"as much text as allowed", binaryTextFan(1, characters), true},
      {"one character more", binaryTextFan(1, characters + 1), false},
      {"text referred to again and again", binaryTextFan(4000, 1000), false},
      {"an array inside itself", binaryNest(1, 1).replace(41, 2, bigEndian(4, 2)), false},
      {"a reference past the offset table", binaryNest(1, 1).replace(41, 2, bigEndian(9, 2)),
       false},
      {"shorter than a header and a trailer", "bplist00" + std::string(31, '\0'), false},
      {"offsets of no width", with(binaryNest(1, 1), -26, 0), false},
      {"references wider than 8 bytes", with(binaryNest(1, 1), -25, 9), false},
      {"a top object past the count", with(binaryNest(1, 1), -9, 7), false},
      {"an offset table past the trailer", with(binaryNest(1, 1), -2, '\x7F'), false},
      {"a count whose integer is no integer", binaryPlistWithNest({"\xAF\x20\x01", "\x10\x05"}),
       false},
  };
  for (const auto& [what, bytes, within] : cases) {
    EXPECT_EQ(appkit::binaryPlistWithinLimits(bytes), within) << what;
  }
}
