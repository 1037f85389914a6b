#include "smc/smc_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

std::array<uint8_t, 80> bytesOf(const SmcParamBlock& block) {
  std::array<uint8_t, 80> bytes{};
  std::memcpy(bytes.data(), &block, bytes.size());
  return bytes;
}

// The requests fetchSmcValue sends for "TC0P": a fresh block with only the named fields set.
TEST(SmcParamBlock, RequestsForTC0PAreExactOnTheWire) {
  SmcParamBlock keyInfo{};
  keyInfo.key = encodeSmcKey("TC0P");
  keyInfo.command = kSmcCommandKeyInfo;

  std::array<uint8_t, 80> expected{};
  expected[0] = 0x50, expected[1] = 0x30, expected[2] = 0x43, expected[3] = 0x54;
  expected[42] = 9;
  EXPECT_EQ(bytesOf(keyInfo), expected);

  SmcParamBlock readBytes = keyInfo;
  readBytes.dataSize = 2;
  readBytes.command = kSmcCommandReadBytes;
  expected[28] = 2;
  expected[42] = 5;
  EXPECT_EQ(bytesOf(readBytes), expected) << "only the size and the command differ";
}

TEST(SmcParamBlock, ReplyFieldsAreReadFromTheirOffsets) {
  std::array<uint8_t, 80> wire{};
  for (std::size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<uint8_t>(i);
  SmcParamBlock reply;
  std::memcpy(&reply, wire.data(), sizeof reply);
  EXPECT_EQ(reply.key, 0x03020100u);  // host order: little-endian
  EXPECT_EQ(reply.dataSize, 0x1f1e1d1cu);
  EXPECT_EQ(reply.dataType, 0x23222120u);
  EXPECT_EQ(reply.command, 42);
  EXPECT_EQ(reply.bytes[0], 48);
  EXPECT_EQ(reply.bytes[31], 79);
}

TEST(SmcCodes, KeyTextPacksFirstCharacterHighest) {
  static_assert(encodeSmcKey("TC0P") == 0x54433050);
  EXPECT_EQ(encodeSmcKey("TC0P"), 0x54433050u);
  EXPECT_EQ(encodeSmcKey("#KEY"), 0x234b4559u);
  EXPECT_EQ(encodeSmcKey("\xff\x80\x01\x00"), 0xff800100u) << "bytes are taken unsigned";
  EXPECT_EQ(encodeSmcKey("TC"), 0x54430000u) << "a short key is padded, never over-read";
  EXPECT_EQ(encodeSmcKey("TC0PX"), 0x54433050u);
}

TEST(SmcCodes, TypeCodeGivesFourCharactersAndANul) {
  const struct {
    uint32_t code;
    const char* text;
  } cases[] = {
      {0x73703738, "sp78"},
      {0x666c7420, "flt "},
      {0x00703738, ""},  // a zero top byte: the first character written is the NUL
      {0x73003738, "s"},
  };
  for (const auto& c : cases) {
    char type[5];
    std::memset(type, 'x', sizeof type);
    decodeSmcType(c.code, type);
    EXPECT_STREQ(type, c.text) << std::hex << c.code;
  }
  char type[5];
  decodeSmcType(0x73703738, type);
  EXPECT_EQ(type[4], '\0');
}

}  // namespace
