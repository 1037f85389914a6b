#include "platform/linux/appkit/info_dictionary.h"

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
#include <string>

namespace appkit {

namespace {

// An Info.plist is a few kilobytes; anything past this is not one.
constexpr std::uintmax_t kMaxInfoPlistSize = 1 << 20;

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
  // the program's resident memory, for one small file read once.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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
