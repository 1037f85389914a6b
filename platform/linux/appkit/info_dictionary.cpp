#include "appkit/info_dictionary.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace appkit {

namespace {

// An Info.plist is a few kilobytes; anything past this is not one. At this size libplist reads
// any XML in a few milliseconds, nesting included.
constexpr std::uintmax_t kMaxInfoPlistSize = 16 << 10;

// libplist reads a binary property list by following each reference anew, copying what it finds,
// and recursing once per level: a few hundred bytes of arrays that each hold the next one twice
// unfold into millions of objects, a few thousand references to one long text into megabytes,
// and deep nesting runs the stack out. A binary Info.plist is read only when it unfolds into few
// objects and little text, few levels deep.
constexpr uint64_t kMaxBinaryObjects = 4096;
constexpr uint64_t kMaxBinaryBytes = 64 << 10;
constexpr std::size_t kMaxBinaryDepth = 64;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The white space NSString's floatValue skips: blanks, tabs and line breaks.
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Converts a double to float without the undefined behaviour of an out-of-range cast.
float toFloat(double value) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (value > kMax) return std::numeric_limits<float>::infinity();
  if (value < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

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

// Whether a binary property list ("bplist00": objects, a table of their offsets, a trailer) stays
// within the limits above. Only markers and references are read, without recursion; each object
// is unfolded once and remembered. Anything malformed is refused too.
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

}  // namespace

float textFloatValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t mantissa = i;

  // Digits before and after the point, counting those that decide the magnitude.
  long integerDigits = 0;  // significant digits before the point
  long leadingFractionZeros = 0;
  bool seenNonZero = false;
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) {
    if (text[i] != '0') seenNonZero = true;
    if (seenNonZero) ++integerDigits;
    ++i;
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) {
      if (text[i] != '0') seenNonZero = true;
      if (!seenNonZero) ++leadingFractionZeros;
      ++i;
      ++digits;
    }
  }
  if (digits == 0) return 0.0f;  // no number at all: "abc", ".", "-", ""

  // An exponent counts only when at least one digit follows the 'e' and its sign.
  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool exponentNegative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponentNegative = text[j++] == '-';
    if (j < text.size() && isDigit(text[j])) {
      while (j < text.size() && isDigit(text[j])) {
        if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
        ++j;
      }
      if (exponentNegative) exponent = -exponent;
      i = j;
    }
  }

  const std::string_view number = text.substr(mantissa, i - mantissa);
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                            std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: decide by the number's decimal magnitude.
    const long magnitude = (integerDigits > 0 ? integerDigits : -leadingFractionZeros) + exponent;
    value = seenNonZero && magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (error != std::errc{} || end != number.data() + number.size()) {
    return 0.0f;  // cannot happen for the prefix read above; a defined answer all the same
  }
  return toFloat(negative ? -value : value);
}

void InfoDictionary::Free::operator()(void* plist) const {
  plist_free(static_cast<plist_t>(plist));
}

InfoDictionary InfoDictionary::fromBytes(std::string_view bytes) {
  InfoDictionary dictionary;
  if (bytes.empty() || bytes.size() > kMaxInfoPlistSize) return dictionary;
  plist_t root = nullptr;
  const auto length = static_cast<uint32_t>(bytes.size());
  if (plist_is_binary(bytes.data(), length)) {
    if (!binaryPlistWithinLimits(bytes)) return dictionary;
    plist_from_bin(bytes.data(), length, &root);
  } else {
    plist_from_xml(bytes.data(), length, &root);
  }
  if (root && plist_get_node_type(root) != PLIST_DICT) {
    plist_free(root);
    root = nullptr;
  }
  dictionary.root_.reset(root);
  return dictionary;
}

InfoDictionary InfoDictionary::fromFile(const std::string& path) {
  // Plain system calls: the C++ streams would set up the whole locale machinery, a good part of
  // the program's resident memory, for one small file read once. O_NONBLOCK: opening a FIFO
  // planted in its place returns at once (and then it is no regular file); the open of a device
  // never makes it the controlling terminal.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {};
  std::string bytes;
  struct stat status {};
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      static_cast<std::uintmax_t>(status.st_size) <= kMaxInfoPlistSize) {
    // Room for the file as it is, and one byte more to notice one that grew past the limit.
    bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t length = 0;
    while (length < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + length, bytes.size() - length);
      if (n > 0) {
        length += static_cast<std::size_t>(n);
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        length = 0;  // unreadable: no dictionary
        break;
      }
    }
    // A file that grew while it was read is being rewritten: no dictionary rather than part of one.
    bytes.resize(length > static_cast<std::size_t>(status.st_size) ? 0 : length);
  }
  ::close(fd);
  return fromBytes(bytes);
}

std::optional<float> InfoDictionary::floatValue(std::string_view key) const {
  if (!root_) return std::nullopt;
  const std::string keyText(key);
  const plist_t value = plist_dict_get_item(static_cast<plist_t>(root_.get()), keyText.c_str());
  if (!value) return std::nullopt;
  switch (plist_get_node_type(value)) {
    case PLIST_REAL: {
      double real = 0.0;
      plist_get_real_val(value, &real);
      return toFloat(real);
    }
    case PLIST_UINT: {
      // libplist keeps a negative <integer> as its 64-bit two's complement, as CFNumber reads it.
      uint64_t bits = 0;
      plist_get_uint_val(value, &bits);
      return toFloat(static_cast<double>(static_cast<int64_t>(bits)));
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(value, &length);
      return text ? textFloatValue(std::string_view(text, length)) : 0.0f;
    }
    case PLIST_BOOLEAN: {
      uint8_t flag = 0;
      plist_get_bool_val(value, &flag);
      return flag ? 1.0f : 0.0f;
    }
    default:
      return std::nullopt;  // dictionary, array, date, data, uid: no float conversion
  }
}

}  // namespace appkit
