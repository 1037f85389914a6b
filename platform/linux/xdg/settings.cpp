#include "xdg/settings.h"

#include <optional>
#include <utility>

#include "appkit/small_file.h"
#include "text/ascii.h"
#include "xdg/key_file.h"
#include "xdg/user_files.h"

namespace xdg {

namespace {

constexpr std::string_view kGroup = "Quorvel";
constexpr std::string_view kSensor = "Sensor";

bool printableAscii(std::string_view text) {
  for (const char c : text) {
    if (!text::isPrintable(c)) return false;
  }
  return true;
}

}  // namespace

Settings::Settings(std::string configFolder)
    : path_(configFolder.empty() ? "" : std::move(configFolder) + "/quorvel/quorvel.conf") {}

std::string Settings::sensor(std::string& problem) const {
  if (path_.empty()) return "";
  const appkit::SmallFile file = appkit::readSmallFile(path_, kMaxFileBytes);
  if (file.status == appkit::SmallFile::Status::absent) return "";
  if (file.status == appkit::SmallFile::Status::refused) {
    problem = file.problem + ": the settings in it are ignored";
    return "";
  }
  std::string why;
  const auto keys = KeyFile::parse(file.text, why);
  if (!keys) {
    problem = path_ + " is not a settings file (" + why + "): the settings in it are ignored";
    return "";
  }
  std::string name = keys->value(kGroup, kSensor).value_or("");
  if (!printableAscii(name)) {
    problem = path_ + ": the sensor name \"" + text::printable(name) + "\" is not printable ASCII";
    return "";
  }
  return name;
}

bool Settings::storeSensor(std::string_view name, std::string& problem) {
  if (!printableAscii(name)) {
    problem = "the sensor name \"" + text::printable(name) + "\" is not printable ASCII";
    return false;
  }
  if (path_.empty()) {
    problem = kUnknownConfigFolder;
    return false;
  }
  // A file that cannot be used is the user's still: left as it is, for them to see why.
  const appkit::SmallFile file = appkit::readSmallFile(path_, kMaxFileBytes);
  if (file.status == appkit::SmallFile::Status::refused) {
    problem = file.problem + ": left as it is";
    return false;
  }
  KeyFile keys;
  if (file.status == appkit::SmallFile::Status::read) {
    std::string why;
    auto read = KeyFile::parse(file.text, why);
    if (!read) {
      problem = path_ + " is not a settings file (" + why + "): left as it is";
      return false;
    }
    keys = std::move(*read);
  }
  if (name.empty()) {
    keys.remove(kGroup, kSensor);
    // With no file, the choice is the automatic one already.
    if (file.status == appkit::SmallFile::Status::absent) return true;
  } else if (!keys.set(kGroup, kSensor, name)) {
    problem = "the sensor name \"" + text::printable(name) + "\" cannot be written in " + path_;
    return false;
  }
  const std::string text = keys.text();
  if (file.status == appkit::SmallFile::Status::read && text == file.text) return true;
  // Never a file that the next start would refuse to read.
  if (text.size() > kMaxFileBytes) {
    problem = path_ + " would grow past " + std::to_string(kMaxFileBytes) +
              " bytes, more than is read back: left as it is";
    return false;
  }
  return replaceFile(path_, text, problem);
}

}  // namespace xdg
