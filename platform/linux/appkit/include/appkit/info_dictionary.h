// A bundle's information dictionary (Info.plist, XML or binary), read from its file, and the
// float conversion of its values, as NSNumber's and NSString's floatValue give it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "appkit/float_text.h"

namespace appkit {

class InfoDictionary {
 public:
  // The dictionary in the bytes of an Info.plist, XML or binary. Bytes that hold no property list
  // or one whose root is not a dictionary give the empty dictionary: every key is absent.
  static InfoDictionary fromBytes(std::string_view bytes);
  // The same for a file; a file that is missing, unreadable or too large gives the empty one.
  static InfoDictionary fromFile(const std::string& path);

  // The value under key as floatValue gives it: a real or integer is its number, a text converts
  // as textFloatValue does, a boolean is 1 or 0. An absent key, or a value of any other type
  // (dictionary, array, date, data), gives nullopt.
  std::optional<float> floatValue(std::string_view key) const;

  bool empty() const { return !root_; }

 private:
  struct Free {
    void operator()(void* plist) const;
  };
  std::unique_ptr<void, Free> root_;  // a plist_t dictionary, or null
};

}  // namespace appkit
