// The bytes of an Info.plist, XML or binary, read into an information dictionary and asked for
// the keys the program and a bundle use; the same bytes also as the text of a value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "appkit/info_dictionary.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::string_view kKeys[] = {"interval",    "CFBundleName",  "CFBundleIdentifier",
                                      "LSUIElement", "NSMainNibFile", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const appkit::InfoDictionary dictionary = appkit::InfoDictionary::fromBytes(bytes);
  for (const std::string_view key : kKeys) {
    // An empty dictionary has no keys. A value may be any float, NaN included (a <real>nan).
    const std::optional<float> value = dictionary.floatValue(key);
    if (dictionary.empty()) check(!value);
  }
  // A text read as floatValue reads it: never NaN, whatever the bytes.
  check(!std::isnan(appkit::textFloatValue(bytes)));
  return 0;
}
