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
// The longest value a notice quotes.
constexpr std::size_t kQuotedValue = 40;

bool printableAscii(std::string_view text) {
  for (const char c : text) {
    if (!text::isPrintable(c)) return false;
  }
  return true;
}

// The settings file as read now: its keys (none when there is no file), or nullopt with why in
// problem when it cannot be used; end, what is said of it then ("the settings in it are ignored",
// "left as it is").
struct ReadFile {
  appkit::SmallFile file;
  std::optional<KeyFile> keys;
};
ReadFile readFile(const std::string& path, std::string_view end, std::string& problem) {
  ReadFile read{appkit::readSmallFile(path, Settings::kMaxFileBytes), std::nullopt};
  if (read.file.status == appkit::SmallFile::Status::absent) {
    read.keys.emplace();
  } else if (read.file.status == appkit::SmallFile::Status::refused) {
    problem = read.file.problem + ": " + std::string(end);
  } else {
    std::string why;
    read.keys = KeyFile::parse(read.file.text, why);
    if (!read.keys) {
      problem = path + " is not a settings file (" + why + "): " + std::string(end);
    }
  }
  return read;
}

// One key's value through parse; nullopt, with a line in notices, for one that is not of its form.
template <typename Parse>
auto preference(const KeyFile& keys, std::string_view key, const std::string& path, Parse parse,
                std::vector<std::string>& notices)
    -> decltype(parse("", std::declval<std::string&>())) {
  const auto text = keys.value(kGroup, key);
  if (!text || text->empty()) return std::nullopt;
  std::string why;
  auto value = parse(*text, why);
  if (!value) {
    notices.push_back(std::string(key) + "=" + text::printable(*text, kQuotedValue) + " in " +
                      path + " " + why + ": ignored, the default is used");
  }
  return value;
}

}  // namespace

Settings::Settings(std::string configFolder)
    : path_(configFolder.empty() ? "" : std::move(configFolder) + "/quorvel/quorvel.conf") {}

std::string Settings::sensor(std::string& problem) const {
  if (path_.empty()) return "";
  const ReadFile read = readFile(path_, "the settings in it are ignored", problem);
  return read.keys ? sensorIn(*read.keys, problem) : "";
}

Settings::Chosen Settings::chosen(std::vector<std::string>& notices) const {
  Chosen chosen;
  if (path_.empty()) return chosen;
  std::string problem;
  const ReadFile read = readFile(path_, "the settings in it are ignored", problem);
  if (read.keys) {
    chosen.sensor = sensorIn(*read.keys, problem);
    chosen.preferences = preferencesIn(*read.keys, notices);
  }
  if (!problem.empty()) notices.insert(notices.begin(), problem);
  return chosen;
}

std::string Settings::sensorIn(const KeyFile& keys, std::string& problem) const {
  std::string name = keys.value(kGroup, kSensor).value_or("");
  if (!printableAscii(name)) {
    problem = path_ + ": the sensor name \"" + text::printable(name) + "\" is not printable ASCII";
    return "";
  }
  return name;
}

preferences::Preferences Settings::preferencesIn(const KeyFile& keys,
                                                 std::vector<std::string>& notices) const {
  preferences::Preferences chosen;
  if (auto unit = preference(keys, preferences::kUnitKey, path_, preferences::parseUnit, notices))
    chosen.unit = *unit;
  if (auto warnAt =
          preference(keys, preferences::kWarnAtKey, path_, preferences::parseWarnAt, notices))
    chosen.warnAt = *warnAt;
  if (auto interval =
          preference(keys, preferences::kIntervalKey, path_, preferences::parseInterval, notices))
    chosen.interval = *interval;
  // A boolean as GLib reads one.
  const auto notify = keys.value(kGroup, preferences::kNotifyKey);
  if (notify && !notify->empty()) {
    if (const auto on = keys.boolean(kGroup, preferences::kNotifyKey)) {
      chosen.notify = *on;
    } else {
      notices.push_back(std::string(preferences::kNotifyKey) + "=" +
                        text::printable(*notify, kQuotedValue) + " in " + path_ +
                        " is neither true nor false: ignored, the default is used");
    }
  }
  return chosen;
}

bool Settings::storeSensor(std::string_view name, std::string& problem) {
  if (!printableAscii(name)) {
    problem = "the sensor name \"" + text::printable(name) + "\" is not printable ASCII";
    return false;
  }
  return store({{kSensor, std::string(name)}}, problem);
}

bool Settings::storePreferences(const preferences::Preferences& before,
                                const preferences::Preferences& chosen, std::string& problem) {
  std::vector<Change> changes;
  if (chosen.unit != before.unit) {
    changes.emplace_back(preferences::kUnitKey,
                         chosen.unit == preferences::Unit::celsius
                             ? std::string()
                             : std::string(preferences::unitText(chosen.unit)));
  }
  if (chosen.warnAt != before.warnAt)
    changes.emplace_back(preferences::kWarnAtKey, preferences::warnAtText(chosen.warnAt));
  if (chosen.notify != before.notify)
    changes.emplace_back(preferences::kNotifyKey, chosen.notify ? "true" : "");
  if (chosen.interval != before.interval)
    changes.emplace_back(preferences::kIntervalKey, preferences::intervalText(chosen.interval));
  return changes.empty() || store(changes, problem);
}

bool Settings::store(const std::vector<Change>& changes, std::string& problem) {
  if (path_.empty()) {
    problem = kUnknownConfigFolder;
    return false;
  }
  // A file that cannot be used is the user's still: left as it is, for them to see why.
  ReadFile read = readFile(path_, "left as it is", problem);
  if (!read.keys) return false;
  KeyFile& keys = *read.keys;
  for (const auto& [key, value] : changes) {
    if (value.empty()) {
      keys.remove(kGroup, key);
    } else if (!keys.set(kGroup, key, value)) {
      problem = "the " + std::string(key) + " \"" + text::printable(value) +
                "\" cannot be written in " + path_;
      return false;
    }
  }
  const bool exists = read.file.status == appkit::SmallFile::Status::read;
  const std::string text = keys.text();
  // With no file and nothing to write, every choice is the default already.
  if (exists ? text == read.file.text : text.empty()) return true;
  // Never a file that the next start would refuse to read.
  if (text.size() > kMaxFileBytes) {
    problem = path_ + " would grow past " + std::to_string(kMaxFileBytes) +
              " bytes, more than is read back: left as it is";
    return false;
  }
  return replaceFile(path_, text, problem);
}

}  // namespace xdg
