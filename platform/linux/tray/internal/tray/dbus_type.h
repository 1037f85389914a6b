// The D-Bus type of each C++ value the tray sends, said once: DbusType<T> gives T's signature and
// appends a T to a message. A property is declared by the function that gives its value
// (DBUS_PROPERTY): its signature in the object's vtable and the getter sd-bus calls both come from
// that function's type, so a value of another type than the vtable says cannot be built, and a
// C++ type with no D-Bus form is a compile error.
#pragma once

#include <systemd/sd-bus.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace tray {

// A D-Bus signature as a constant: N characters and the terminating NUL.
template <std::size_t N>
struct Signature {
  std::array<char, N + 1> text{};
  constexpr Signature() = default;
  constexpr explicit Signature(const char (&literal)[N + 1]) {
    std::copy_n(literal, N + 1, text.begin());
  }
  const char* c_str() const { return text.data(); }
};
template <std::size_t N>
Signature(const char (&)[N]) -> Signature<N - 1>;

template <std::size_t... N>
constexpr Signature<(N + ... + 0)> join(const Signature<N>&... parts) {
  Signature<(N + ... + 0)> joined;
  std::size_t at = 0;
  ((std::copy_n(parts.text.begin(), N, joined.text.begin() + static_cast<std::ptrdiff_t>(at)),
    at += N),
   ...);
  return joined;
}

// An object path ("o").
struct ObjectPath {
  const char* path;
};

// Whether text can be sent as a D-Bus string as it is: UTF-8 of Unicode characters, none of them
// a surrogate or a noncharacter (sd-bus refuses the whole message otherwise).
bool sendableText(std::string_view text);

// Defined for every type that has a D-Bus form, below; any other type does not build.
template <typename T>
struct DbusType;

// A text that could not be sent as it is (a path from a Latin-1 folder, say) goes as the empty
// one: the other values of the message still reach the host.
template <>
struct DbusType<const char*> {
  static constexpr Signature kSignature{"s"};
  static int append(sd_bus_message* message, const char* text) {
    return sd_bus_message_append_basic(message, 's', sendableText(text) ? text : "");
  }
};

template <>
struct DbusType<std::string> {
  static constexpr Signature kSignature{"s"};
  static int append(sd_bus_message* message, const std::string& text) {
    return DbusType<const char*>::append(message, text.c_str());
  }
};

template <>
struct DbusType<ObjectPath> {
  static constexpr Signature kSignature{"o"};
  static int append(sd_bus_message* message, ObjectPath object) {
    return sd_bus_message_append_basic(message, 'o', object.path);
  }
};

template <>
struct DbusType<bool> {
  static constexpr Signature kSignature{"b"};
  static int append(sd_bus_message* message, bool value) {
    const int flag = value ? 1 : 0;  // a D-Bus boolean is 32 bits wide
    return sd_bus_message_append_basic(message, 'b', &flag);
  }
};

template <>
struct DbusType<int32_t> {
  static constexpr Signature kSignature{"i"};
  static int append(sd_bus_message* message, int32_t value) {
    return sd_bus_message_append_basic(message, 'i', &value);
  }
};

template <>
struct DbusType<uint32_t> {
  static constexpr Signature kSignature{"u"};
  static int append(sd_bus_message* message, uint32_t value) {
    return sd_bus_message_append_basic(message, 'u', &value);
  }
};

// Bytes ("ay"), appended as one block.
template <>
struct DbusType<std::span<const uint8_t>> {
  static constexpr Signature kSignature{"ay"};
  static int append(sd_bus_message* message, std::span<const uint8_t> bytes) {
    return sd_bus_message_append_array(message, 'y', bytes.data(), bytes.size());
  }
};

// An array of any other element ("a" and the element's type).
template <typename T>
struct DbusType<std::span<const T>> {
  static constexpr auto kSignature = join(Signature{"a"}, DbusType<T>::kSignature);
  static int append(sd_bus_message* message, std::span<const T> elements) {
    int result =
        sd_bus_message_open_container(message, SD_BUS_TYPE_ARRAY, DbusType<T>::kSignature.c_str());
    for (const T& element : elements) {
      if (result < 0) return result;
      result = DbusType<T>::append(message, element);
    }
    return result < 0 ? result : sd_bus_message_close_container(message);
  }
};

template <typename T, std::size_t N>
struct DbusType<std::array<T, N>> : DbusType<std::span<const T>> {};
template <typename T>
struct DbusType<std::vector<T>> : DbusType<std::span<const T>> {};

// A structure of its members, in order ("(" the members' types ")").
template <typename... T>
struct DbusType<std::tuple<T...>> {
  static constexpr auto kMembers = join(DbusType<T>::kSignature...);
  static constexpr auto kSignature = join(Signature{"("}, kMembers, Signature{")"});
  static int append(sd_bus_message* message, const std::tuple<T...>& members) {
    int result = sd_bus_message_open_container(message, SD_BUS_TYPE_STRUCT, kMembers.c_str());
    std::apply(
        [&](const T&... member) {
          ((result = result < 0 ? result : DbusType<T>::append(message, member)), ...);
        },
        members);
    return result < 0 ? result : sd_bus_message_close_container(message);
  }
};

// A value as a variant ("v"), of the value's own type.
template <typename T>
int appendVariant(sd_bus_message* message, const T& value) {
  int result =
      sd_bus_message_open_container(message, SD_BUS_TYPE_VARIANT, DbusType<T>::kSignature.c_str());
  if (result >= 0) result = DbusType<T>::append(message, value);
  return result < 0 ? result : sd_bus_message_close_container(message);
}

// What the function get gives, and of which object: get is Value (*)(const Object&).
template <auto get>
struct Getter;
template <typename Value, typename Object, Value (*get)(const Object&)>
struct Getter<get> {
  using Type = std::remove_cvref_t<Value>;
  // sd-bus's property getter: the value that get gives for the object the vtable was added with.
  static int property(sd_bus* /*bus*/, const char* /*path*/, const char* /*interface*/,
                      const char* /*property*/, sd_bus_message* reply, void* userdata,
                      sd_bus_error* /*error*/) {
    return DbusType<Type>::append(reply, get(*static_cast<const Object*>(userdata)));
  }
};

template <auto get>
inline constexpr auto kPropertySignature = DbusType<typename Getter<get>::Type>::kSignature;

}  // namespace tray

// A vtable row for the property name whose value the function get gives.
#define DBUS_PROPERTY(name, get, flags)                                                          \
  SD_BUS_PROPERTY(name, ::tray::kPropertySignature<get>.c_str(), &::tray::Getter<get>::property, \
                  0, flags)
