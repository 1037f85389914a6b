#include "appkit/info_dictionary.h"

#include <plist/plist.h>

#include <cstdint>
#include <optional>
#include <string>

#include "appkit/binary_plist_limits.h"
#include "appkit/float_text.h"
#include "appkit/small_file.h"

namespace appkit {

namespace {

// An Info.plist is a few kilobytes; anything past this is not one. At this size libplist reads
// any XML in a few milliseconds, nesting included.
constexpr std::size_t kMaxInfoPlistSize = 16 << 10;

}  // namespace

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
  // the program's resident memory, for one small file read once. A file that is not a regular one
  // (a FIFO planted in its place), larger than the limit, unreadable, or grown past the limit while
  // it is read gives no dictionary rather than part of one.
  const SmallFile file = readSmallFile(path, kMaxInfoPlistSize, Links::followed);
  return file.status == SmallFile::Status::read ? fromBytes(file.text) : InfoDictionary();
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
