// The SMC's wire format: the 80-byte parameter block exchanged with the "AppleSMC" service, the
// four-character key and type codes it carries, the command and selector numbers, and the value
// record a key read fills. Header only: the sensor side and the IOKit stand-in both speak it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

// One request or reply of an SMC exchange, in the host's byte order. Only the fields named here
// are ever set in a request or read from a reply; every other byte stays zero.
struct SmcParamBlock {
  uint32_t key;         // key code of the key being read
  uint8_t unused4[24];  // version and power-limit data, never used
  uint32_t dataSize;    // key information: the value's size in bytes
  uint32_t dataType;    // key information: the value's type code
  uint8_t unused36[6];  // attributes, result and status, never used
  uint8_t command;      // kSmcCommandKeyInfo or kSmcCommandReadBytes
  uint8_t unused43[5];  // never used
  uint8_t bytes[32];    // read bytes: the key's value, first byte first
};

static_assert(sizeof(SmcParamBlock) == 80);
static_assert(std::is_standard_layout_v<SmcParamBlock> &&
              std::is_trivially_copyable_v<SmcParamBlock>);
static_assert(offsetof(SmcParamBlock, key) == 0);
static_assert(offsetof(SmcParamBlock, dataSize) == 28);
static_assert(offsetof(SmcParamBlock, dataType) == 32);
static_assert(offsetof(SmcParamBlock, command) == 42);
static_assert(offsetof(SmcParamBlock, bytes) == 48);

// Converts the first two bytes of an "sp78" value (signed, big-endian, 8 fraction bits) into
// degrees Celsius. The two lowest bits are dropped, so the result moves in steps of 1/64 degree.
inline double sp78ToCelsius(uint8_t high, uint8_t low) {
  const int raw = static_cast<int8_t>(high) * 256 + low;
  return static_cast<double>(raw >> 2) * 0.015625;
}

inline constexpr uint8_t kSmcCommandReadBytes = 5;
inline constexpr uint8_t kSmcCommandKeyInfo = 9;
inline constexpr uint32_t kSmcSelectorCall = 2;  // the service's struct method for both commands

// What one key read yields.
struct SmcValueRecord {
  char key[5];        // never filled by a read: stays the empty text
  uint32_t dataSize;  // from the key-information reply
  char dataType[5];   // the type code as text, such as "sp78"
  uint8_t bytes[32];  // the read-bytes reply's 32 data bytes, all of them
};

// Packs four key characters into a key code, the first character in the most significant byte.
// A key shorter than four characters is padded with NULs; characters after the fourth are ignored.
constexpr uint32_t encodeSmcKey(std::string_view key) {
  uint32_t code = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto c = i < key.size() ? static_cast<uint8_t>(key[i]) : uint8_t{0};
    code = (code << 8) | c;
  }
  return code;
}

// Writes the four characters of a type code, most significant first, and a NUL into type.
// A type code whose top byte is zero gives the empty text.
inline void decodeSmcType(uint32_t typeCode, char (&type)[5]) {
  // The four characters as "%c%c%c%c" would print them, a NUL among them included, then a NUL.
  for (int i = 0; i < 4; ++i) type[i] = static_cast<char>((typeCode >> (24 - 8 * i)) & 0xff);
  type[4] = '\0';
}
