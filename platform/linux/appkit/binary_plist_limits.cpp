// How far a binary property list unfolds, found without unfolding it.
#include "appkit/binary_plist_limits.h"

#include <optional>
#include <utility>
#include <vector>

namespace appkit {

namespace {

// A big-endian unsigned number of width bytes (1 to 8) at offset, or nullopt past the end.
std::optional<uint64_t> readBigEndian(std::string_view bytes, uint64_t offset, unsigned width) {
  if (width == 0 || width > 8 || offset > bytes.size() || bytes.size() - offset < width) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

// The count an object's marker gives (its low four bits, or the integer object after it when they
// are all set) and where its contents start; nullopt when that runs past the end.
std::optional<std::pair<uint64_t, uint64_t>> readCount(std::string_view bytes, uint64_t at) {
  const uint64_t count = static_cast<uint8_t>(bytes[at]) & 0xF;
  if (count != 0xF) return std::pair{count, at + 1};
  const auto integer = readBigEndian(bytes, at + 1, 1);
  if (!integer || *integer >> 4 != 1 || (*integer & 0xF) > 3) return std::nullopt;
  const unsigned width = 1u << (*integer & 0xF);
  const auto value = readBigEndian(bytes, at + 2, width);
  if (!value) return std::nullopt;
  return std::pair{*value, at + 2 + width};
}

// What an object unfolds into: objects, and bytes of text and data (UTF-16 text counted as the
// UTF-8 it becomes).
struct Unfolded {
  uint64_t objects = 0;
  uint64_t bytes = 0;
  Unfolded& operator+=(const Unfolded& other) {
    objects += other.objects;
    bytes += other.bytes;
    return *this;
  }
  bool withinLimits() const { return objects <= kMaxBinaryObjects && bytes <= kMaxBinaryBytes; }
};

}  // namespace

bool binaryPlistWithinLimits(std::string_view bytes) {
  constexpr uint64_t kHeader = 8, kTrailer = 32;
  if (bytes.size() < kHeader + kTrailer) return false;
  const uint64_t trailer = bytes.size() - kTrailer;
  const auto offsetWidth = static_cast<uint8_t>(bytes[trailer + 6]);
  const auto referenceWidth = static_cast<uint8_t>(bytes[trailer + 7]);
  const auto count = readBigEndian(bytes, trailer + 8, 8);
  const auto top = readBigEndian(bytes, trailer + 16, 8);
  const auto table = readBigEndian(bytes, trailer + 24, 8);
  if (!count || !top || !table || *top >= *count || *count > bytes.size() || offsetWidth == 0 ||
      offsetWidth > 8 || referenceWidth == 0 || referenceWidth > 8 || *table > trailer ||
      (trailer - *table) / offsetWidth < *count) {
    return false;
  }

  std::vector<Unfolded> unfolded(*count);  // each object's, once known (objects > 0)
  std::vector<bool> open(*count, false);   // on the path being unfolded
  struct Frame {
    uint64_t index, next, end;  // references from next to end are still to unfold
    Unfolded total;
  };
  std::vector<Frame> path;
  // Starts on an object: a leaf, or one unfolded before, adds to its container at once; a
  // container goes on the path. False for a malformed object or one over a limit.
  const auto enter = [&](uint64_t index) {
    if (index >= *count || open[index]) return false;  // out of the table, or inside itself
    if (unfolded[index].objects == 0) {
      const auto at = readBigEndian(bytes, *table + index * offsetWidth, offsetWidth);
      if (!at || *at >= trailer) return false;
      const unsigned type = static_cast<uint8_t>(bytes[*at]) >> 4;
      const bool container = type == 0xA || type == 0xC || type == 0xD;
      const bool sized = type == 0x4 || type == 0x5 || type == 0x6 || type == 0x7;
      const auto counted = container || sized ? readCount(bytes, *at) : std::pair{0ul, *at};
      if (!counted || counted->first > bytes.size()) return false;
      const auto [items, first] = *counted;
      if (!container) {
        unfolded[index] = {1, type == 0x6 ? items * 3 : sized ? items : 0};
      } else {
        const uint64_t references = type == 0xD ? items * 2 : items;  // keys, then values
        if (first > trailer || (trailer - first) / referenceWidth < references ||
            path.size() >= kMaxBinaryDepth) {
          return false;
        }
        open[index] = true;
        path.push_back({index, first, first + references * referenceWidth, {1, 0}});
        return true;
      }
    }
    if (path.empty()) return unfolded[index].withinLimits();
    return (path.back().total += unfolded[index]).withinLimits();
  };

  if (!enter(*top)) return false;
  while (!path.empty()) {
    if (path.back().next == path.back().end) {
      const Frame done = path.back();
      path.pop_back();
      open[done.index] = false;
      unfolded[done.index] = done.total;
      if (!path.empty() && !(path.back().total += done.total).withinLimits()) return false;
      continue;
    }
    const auto child = readBigEndian(bytes, path.back().next, referenceWidth);
    path.back().next += referenceWidth;
    if (!child || !enter(*child)) return false;
  }
  return true;
}

}  // namespace appkit
