// Each C++ type the tray sends: the signature it declares is the one its values are written with,
// and composed types spell the protocol's signatures.
#include "tray/dbus_type.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <tuple>

using tray::DbusType;

namespace {

// A connection to nowhere, which is enough to make messages.
class MessageMaker {
 public:
  MessageMaker() {
    int fds[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
      close(fds[1]);
      sd_bus_new(&bus_);
      sd_bus_set_fd(bus_, fds[0], fds[0]);
      sd_bus_start(bus_);
    }
  }
  ~MessageMaker() { sd_bus_close_unref(bus_); }
  MessageMaker(const MessageMaker&) = delete;
  MessageMaker& operator=(const MessageMaker&) = delete;

  // The signature of a message that holds value alone, as its type writes it; "(failed)" when
  // the message cannot be made or the value cannot be written.
  template <typename T>
  std::string written(const T& value) const {
    sd_bus_message* message = nullptr;
    std::string signature = "(failed)";
    if (sd_bus_message_new_signal(bus_, &message, "/", "org.example", "Signal") >= 0 &&
        DbusType<T>::append(message, value) >= 0) {
      signature = sd_bus_message_get_signature(message, 1);
    }
    sd_bus_message_unref(message);
    return signature;
  }

 private:
  sd_bus* bus_ = nullptr;
};

}  // namespace

TEST(DbusType, EachTypeWritesTheSignatureItDeclares) {
  using Icon = std::tuple<int32_t, int32_t, std::span<const uint8_t>>;
  using ToolTip = std::tuple<const char*, std::span<const Icon>, const char*, std::string>;
  const std::array<uint8_t, 4> pixels{0xFF, 0, 0, 0};
  const std::array<Icon, 2> icons{Icon{1, 1, pixels}, Icon{1, 1, pixels}};
  const std::array<const char*, 2> names{"a", "b"};
  const MessageMaker maker;

  const auto check = [&](const auto& value, const char* expected) {
    using T = std::remove_cvref_t<decltype(value)>;
    EXPECT_STREQ(DbusType<T>::kSignature.c_str(), expected);
    EXPECT_EQ(maker.written(value), expected);
  };
  check(static_cast<const char*>("text"), "s");
  check(std::string("text"), "s");
  check(tray::ObjectPath{"/MenuBar"}, "o");
  check(true, "b");
  check(int32_t{-1}, "i");
  check(uint32_t{3}, "u");
  check(std::span<const uint8_t>(pixels), "ay");
  check(icons, "a(iiay)");
  check(std::span<const char* const>(names), "as");
  check(std::span<const char* const>(), "as");
  check(ToolTip{"", {}, "CPU temperature", "47.8\u00b0C"}, "(sa(iiay)ss)");
  check(ToolTip{"", icons, "CPU temperature", ""}, "(sa(iiay)ss)");
}

TEST(DbusType, ATextThatCannotBeSentGoesAsTheEmptyOne) {
  const std::pair<const char*, bool> texts[] = {
      {"", true},
      {"/home/user/Quorvel.app/Contents/Resources/icons", true},
      {"47.8\u00b0C", true},
      {"\xf0\x9f\x8c\xa1 thermometer", true},  // four bytes, the last plane but one
      {"/home/caf\xe9/Quorvel.app", false},    // Latin-1
      {"\xc0\xaf", false},                     // an overlong '/'
      {"\xed\xa0\x80", false},                 // a surrogate
      {"\xef\xbf\xbe", false},                 // a noncharacter, U+FFFE
      {"\xef\xb7\x90", false},                 // U+FDD0, the first of the block of them
      {"\xf0\x9f\xbf\xbf", false},             // U+1FFFF, a plane's last
      {"\xef\xb7\xb0\xef\xbf\xbd", true},      // U+FDF0 and U+FFFD, their neighbours
      {"\xf4\x8f\xbf\xbd", true},              // U+10FFFD
      {"\xf4\x90\x80\x80", false},             // past U+10FFFF
      {"47.8\xc2", false},                     // cut short
      {"\xe2\x82x", false},                    // a lead byte without its continuation
  };
  const MessageMaker maker;
  for (const auto& [text, sendable] : texts) {
    EXPECT_EQ(tray::sendableText(text), sendable) << text;
    // Written either way: the message goes, with the text or without it.
    EXPECT_EQ(maker.written(std::string(text)), "s") << text;
  }
}
