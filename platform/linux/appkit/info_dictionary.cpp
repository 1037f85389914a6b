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
#include <vector>

namespace appkit {

namespace {

// An Info.plist is a few kilobytes; anything past this is not one. At this size libplist reads
// any XML in a few milliseconds, nesting included.
constexpr std::uintmax_t kMaxInfoPlistSize = 16 << 10;

// libplist reads a binary property list by following each reference anew, recursing once per
// level: a few hundred bytes of arrays that each hold the next one twice unfold into millions of
// objects, and deep nesting runs the stack out. A binary Info.plist is read only when it unfolds
// into few objects, few levels deep.
constexpr uint64_t kMaxBinaryObjects = 4096;
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

// Whether a binary property list ("bplist00": objects, a table of their offsets, a trailer) stays
// within the limits above. Only containers (arrays, sets, dictionaries) are read, without
// recursion; each object is unfolded once and remembered. Anything malformed is refused too.
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

  std::vector<uint64_t> unfolded(*count, 0);  // objects under each object, itself included
  std::vector<bool> open(*count, false);      // on the path being unfolded
  struct Frame {
    uint64_t index, next, end, total;  // references from next to end are still to unfold
  };
  std::vector<Frame> path;
  // Starts on an object: a leaf, or one unfolded before, adds its size to its container at once;
  // a container goes on the path. False for a malformed object or one over a limit.
  const auto enter = [&](uint64_t index) {
    if (index >= *count || open[index]) return false;  // out of the table, or inside itself
    uint64_t size = unfolded[index];
    if (size == 0) {
      const auto at = readBigEndian(bytes, *table + index * offsetWidth, offsetWidth);
      if (!at || *at >= trailer) return false;
      const auto marker = static_cast<uint8_t>(bytes[*at]);
      const unsigned type = marker >> 4;
      if (type != 0xA && type != 0xC && type != 0xD) {
        size = unfolded[index] = 1;
      } else {
        uint64_t references = marker & 0xF, first = *at + 1;
        if (references == 0xF) {  // the count follows as an integer object
          const auto integer = readBigEndian(bytes, first, 1);
          if (!integer || *integer >> 4 != 1 || (*integer & 0xF) > 3) return false;
          const unsigned width = 1u << (*integer & 0xF);
          const auto value = readBigEndian(bytes, first + 1, width);
          if (!value) return false;
          references = *value;
          first += 1 + width;
        }
        if (references > bytes.size()) return false;
        if (type == 0xD) references *= 2;  // keys, then values
        if (first > trailer || (trailer - first) / referenceWidth < references ||
            path.size() >= kMaxBinaryDepth) {
          return false;
        }
        open[index] = true;
        path.push_back({index, first, first + references * referenceWidth, 1});
        return true;
      }
    }
    if (!path.empty()) path.back().total += size;
    return path.empty() || path.back().total <= kMaxBinaryObjects;
  };

  if (!enter(*top)) return false;
  while (!path.empty()) {
    if (path.back().next == path.back().end) {
      const Frame done = path.back();
      path.pop_back();
      open[done.index] = false;
      unfolded[done.index] = done.total;
      if (!path.empty() && (path.back().total += done.total) > kMaxBinaryObjects) return false;
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
