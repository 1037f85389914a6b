// Property lists made to hurt their reader: deep nesting, and references that unfold into more
// objects than a machine holds. Each is a dictionary with "interval" 2.5 beside the nest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/info_plist.h"

inline std::string bigEndian(uint64_t value, int width) {
  std::string bytes;
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
    bytes += static_cast<char>(value >> shift);
  return bytes;
}

// A binary property list {"interval": 2.5, "nest": object 5}, objects 5 on given: the objects one
// after the other, their offset table (4 bytes an offset), and the trailer (2-byte references).
inline std::string binaryPlistWithNest(const std::vector<std::string>& nest) {
  std::vector<std::string> objects = {
      "\xD2" + bigEndian(1, 2) + bigEndian(3, 2) + bigEndian(2, 2) + bigEndian(4, 2),
      "\x58interval", "\x23" + bigEndian(0x4004000000000000, 8), "\x54nest"};
  objects.insert(objects.end(), nest.begin(), nest.end());
  std::string bytes = "bplist00", table;
  for (const auto& object : objects) {
    table += bigEndian(bytes.size(), 4);
    bytes += object;
  }
  const std::size_t tableAt = bytes.size();
  return bytes + table + std::string(6, '\0') + "\x04\x02" + bigEndian(objects.size(), 8) +
         bigEndian(0, 8) + bigEndian(tableAt, 8);
}

// levels arrays, each holding the next one fanOut times (one object, referred to again and
// again), the last holding an integer.
inline std::string binaryNest(int levels, int fanOut) {
  std::vector<std::string> nest;
  for (int level = 0; level < levels; ++level) {
    std::string array(1, static_cast<char>(0xA0 | fanOut));
    for (int i = 0; i < fanOut; ++i) array += bigEndian(5 + level, 2);
    nest.push_back(array);
  }
  nest.emplace_back("\x10\x05");
  return binaryPlistWithNest(nest);
}

// One array holding references times one UTF-16 text of characters characters.
inline std::string binaryTextFan(int references, int characters) {
  std::string array = "\xAF\x11" + bigEndian(static_cast<uint64_t>(references), 2);
  for (int i = 0; i < references; ++i) array += bigEndian(5, 2);
  std::string text = "\x6F\x11" + bigEndian(static_cast<uint64_t>(characters), 2);
  for (int i = 0; i < characters; ++i) text += std::string("\0A", 2);
  return binaryPlistWithNest({array, text});
}

// The same in XML: levels arrays, one inside the other.
inline std::string xmlNest(int levels) {
  std::string nest;
  for (int i = 0; i < levels; ++i) nest += "<array>";
  for (int i = 0; i < levels; ++i) nest += "</array>";
  return xmlPlist("<dict><key>interval</key><real>2.5</real><key>nest</key>" + nest + "</dict>");
}
