#include "sysfs_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "sensor/sensor_text.h"
#include "text/ascii.h"

namespace iokit {

namespace {

bool isHexLetter(char c) {
  return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Orders paths as a person numbers things: thermal_zone9 before thermal_zone10, coretemp.2 before
// coretemp.10. A run of digits that a hexadecimal letter follows (as in the PCI address
// 0000:00:1a.3) is part of a fixed-width hexadecimal field, compared character by character.
bool naturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    std::size_t endA = i, endB = j;
    while (endA < a.size() && text::isDigit(a[endA])) ++endA;
    while (endB < b.size() && text::isDigit(b[endB])) ++endB;
    const bool numbers = endA > i && endB > j && (endA == a.size() || !isHexLetter(a[endA])) &&
                         (endB == b.size() || !isHexLetter(b[endB]));
    if (!numbers) {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i, ++j;
      continue;
    }
    while (i + 1 < endA && a[i] == '0') ++i;  // leading zeros do not count
    while (j + 1 < endB && b[j] == '0') ++j;
    const std::string_view numberA = a.substr(i, endA - i), numberB = b.substr(j, endB - j);
    if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
    if (numberA != numberB) return numberA < numberB;
    i = endA, j = endB;
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

// O_NONBLOCK keeps a FIFO planted in the tree from hanging us.
int readAttribute(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  char buffer[128];
  const ssize_t count = ::pread(fd, buffer, sizeof buffer, 0);
  const int error = count < 0 ? errno : 0;
  ::close(fd);
  if (count < 0) return error;
  std::string_view value(buffer, static_cast<std::size_t>(count));
  while (!value.empty() && (value.back() == '\n' || value.back() == ' ' || value.back() == '\t')) {
    value.remove_suffix(1);
  }
  text.assign(value);
  return 0;
}

namespace {

bool exists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0;
}

// The path with every link resolved, or empty when it cannot be (it does not exist, a loop).
std::string realPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                         &std::free);
  return real != nullptr ? std::string(real.get()) : std::string();
}

std::string_view baseName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Lists a folder's entries, skipping dot files. Returns 0 or the errno of the failure.
template <typename Visit>
int forEachEntry(const std::string& folder, Visit visit) {
  struct CloseDirectory {
    void operator()(DIR* directory) const { ::closedir(directory); }
  };
  const std::unique_ptr<DIR, CloseDirectory> directory(::opendir(folder.c_str()));
  if (directory == nullptr) return errno;
  while (const dirent* entry = ::readdir(directory.get())) {
    if (entry->d_name[0] == '.') continue;
    visit(std::string_view(entry->d_name));
  }
  return 0;
}

// The channel number N of "tempN_input", or nullopt when the name is not one.
std::optional<unsigned> inputChannel(std::string_view name) {
  constexpr std::string_view kPrefix = "temp";
  constexpr std::string_view kSuffix = "_input";
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
  const std::string_view digits =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  if (digits.empty() || digits.size() > 6 || digits[0] == '0') return std::nullopt;
  unsigned number = 0;
  for (const char c : digits) {
    if (!text::isDigit(c)) return std::nullopt;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number;
}

// Text from the tree made fit for a name that no other text gives: a byte outside printable ASCII,
// the characters that join a name's parts ('/', '@', '#') and the escape itself are written \xHH.
std::string escaped(std::string_view text) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!text::isPrintable(c) || c == '\\' || c == '/' || c == '@' || c == '#') {
      result += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
    } else {
      result += c;
    }
  }
  return result;
}

bool hasAny(std::string_view text, std::string_view characters) {
  return text.find_first_of(characters) != std::string_view::npos;
}

// Whether a folder's name is a word and a number and nothing else ("nvme0", "phy1").
bool isNumberedInstance(std::string_view name) {
  const std::size_t digits = name.find_last_not_of("0123456789") + 1;
  return digits > 0 && digits < name.size() &&
         std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(digits), [](char c) {
           return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
         });
}

// The name of a device (its real path) that stays put across reboots. A class device its driver
// numbered in the order it found them (.../0000:02:00.0/nvme/nvme1, .../ieee80211/phy0) is named
// by the bus device it hangs from, which the kernel places two folders up: "0000:02:00.0".
std::string stableDeviceName(std::string_view device) {
  const std::string_view name = baseName(device);
  std::string_view parent = device.substr(0, device.size() - name.size());
  if (parent.ends_with('/')) parent.remove_suffix(1);
  const std::string_view glue = baseName(parent);
  std::string_view bus = parent.substr(0, parent.size() - glue.size());
  if (bus.ends_with('/')) bus.remove_suffix(1);
  const std::string_view busName = baseName(bus);
  const bool numbered = isNumberedInstance(name) && !hasAny(glue, ":.") && hasAny(busName, ":.");
  return std::string(numbered ? busName : name);
}

// A zone's type as its hwmon twin is named: '-' as '_'.
std::string twinName(std::string_view type) {
  std::string name(type);
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

struct Channel {
  unsigned number;
  std::string label;  // empty when it has none
  std::string input;
};

// A hwmon chip or a thermal zone, before it has its name.
struct Source {
  bool zone;
  std::string name;    // the chip's name, or the zone's type
  std::string order;   // its device's real path (a zone's: its type, then its real path)
  std::string device;  // its device's own name, empty without one
  std::string folder;  // its own folder's real path
  std::vector<Channel> channels;
  std::string suffix;  // what tells it apart from sources of the same name
};

class Walk {
 public:
  explicit Walk(SensorInventory& inventory) : inventory_(inventory) {}

  void noteError(int error) {
    if (error == EACCES || error == EPERM) inventory_.denied = true;
  }

  void addZone(const std::string& zone) {
    std::string type;
    if (const int error = readAttribute(zone + "/type", type); error != 0) {
      noteError(error);
      return;
    }
    if (type.empty() || !exists(zone + "/temp")) return;
    std::string real = realPath(zone);
    if (real.empty()) real = zone;
    sources_.push_back(
        {true, type, twinName(type) + "/" + real, "", real, {{1, "", zone + "/temp"}}, ""});
    zoneTwins_.insert(twinName(type));
  }

  void addChip(const std::string& chip) {
    const std::string folders[] = {chip, chip + "/device"};
    std::string name;
    // The name is in the chip's folder, else in its device's (kernels before 3.x); a refusal of
    // either counts, even when the other is simply not there.
    if (const int error = readAttribute(folders[0] + "/name", name); error != 0) {
      if (const int fallback = readAttribute(folders[1] + "/name", name); fallback != 0) {
        noteError(error);
        noteError(fallback);
        return;
      }
    }
    if (name.empty()) return;
    const std::string device = realPath(folders[1]);
    // A thermal zone's twin: the zone is its device, or, on kernels before 5.x, it has no device
    // and bears the zone's type.
    if (device.empty()
            ? zoneTwins_.contains(twinName(name))
            : baseName(device).starts_with("thermal_zone") && exists(folders[1] + "/type")) {
      return;
    }
    std::string real = realPath(chip);
    if (real.empty()) real = chip;
    Source source{false, name, device, stableDeviceName(device), real, {}, ""};
    if (source.order.empty()) source.order = real;
    for (const std::string& folder : folders) {
      const int error = forEachEntry(folder, [&](std::string_view entry) {
        const auto number = inputChannel(entry);
        if (!number || std::any_of(source.channels.begin(), source.channels.end(),
                                   [&](const Channel& c) { return c.number == *number; })) {
          return;
        }
        source.channels.push_back(
            {*number, label(folders, *number), folder + "/" + std::string(entry)});
      });
      // A chip without a device/ folder is common; only a refusal matters.
      if (error != ENOENT && error != ENOTDIR) noteError(error);
    }
    if (!source.channels.empty()) sources_.push_back(std::move(source));
  }

  // Names every sensor, ranks it, and chooses the CPU's.
  void finish() {
    nameSources();
    auto& sensors = inventory_.sensors;
    for (Source& source : sources_) {
      const std::string base = escaped(source.name) + source.suffix;
      for (const auto& [channel, channelName] : channelNames(source)) {
        std::string name = base;
        if (!source.zone) name.append("/").append(channelName);
        sensors.push_back({std::move(name), channel->input,
                           cpuRuleRank(source.zone, source.name, channelName), source.order,
                           channel->number, limitRule(source.zone, source.name, channel->label)});
      }
    }
    std::sort(sensors.begin(), sensors.end(), [](const FoundSensor& a, const FoundSensor& b) {
      if (a.name != b.name) return naturalLess(a.name, b.name);
      return a.order != b.order ? naturalLess(a.order, b.order) : a.channel < b.channel;
    });
    keepNamesApart();
    chooseTheCpus();
  }

 private:
  // The names as printed are told apart by construction (each part escaped, each suffix unique);
  // should two still meet, the later one in order takes a place number, so that every name chooses
  // back its own sensor.
  void keepNamesApart() {
    std::set<std::string> taken;
    for (FoundSensor& sensor : inventory_.sensors) {
      std::string name = sensor.name;
      for (int i = 2; !taken.insert(name).second; ++i) name = sensor.name + "#" + std::to_string(i);
      sensor.name = std::move(name);
    }
  }

  // The CPU's sensor: the best the rules take that reads, at this search, what a running CPU
  // can. Each candidate is read once, in order, until one does.
  void chooseTheCpus() {
    const auto& sensors = inventory_.sensors;
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < sensors.size(); ++i) {
      if (sensors[i].rank != kNoRule) candidates.push_back(i);
    }
    std::sort(candidates.begin(), candidates.end(),
              [&](std::size_t a, std::size_t b) { return better(sensors[a], sensors[b]); });
    for (const std::size_t i : candidates) {
      const SensorFileReading reading = readSensorFile(sensors[i].path);
      noteError(reading.error);
      if (reading.error == 0 && reading.text == SensorText::temperature &&
          plausibleCpuReading(reading.millidegrees)) {
        inventory_.automatic = static_cast<std::ptrdiff_t>(i);
        return;
      }
    }
  }

  // A channel's label, beside its input or in the other folder; empty when it has none or it
  // cannot be read (it is then named by its number).
  std::string label(const std::string (&folders)[2], unsigned number) {
    const std::string file = "/temp" + std::to_string(number) + "_label";
    for (const std::string& folder : folders) {
      std::string text;
      const int error = readAttribute(folder + file, text);
      if (error == 0) return text;
      if (error != ENOENT && error != ENOTDIR) noteError(error);
    }
    return {};
  }

  // A name for each of a chip's channels, the same whatever order the folder lists them in, and
  // no two alike: its label, in order of channel number, unless an earlier channel has it; else
  // tempN, unless a label has that, with "#2", "#3"... added until it is free.
  static std::vector<std::pair<const Channel*, std::string>> channelNames(Source& source) {
    std::sort(source.channels.begin(), source.channels.end(),
              [](const Channel& a, const Channel& b) { return a.number < b.number; });
    std::vector<std::pair<const Channel*, std::string>> named;
    std::set<std::string> taken;
    for (const Channel& channel : source.channels) {
      const std::string label = escaped(channel.label);
      const bool labelled = !label.empty() && taken.insert(label).second;
      named.emplace_back(&channel, labelled ? label : "");
    }
    for (auto& [channel, name] : named) {
      if (!name.empty()) continue;
      const std::string byNumber = "temp" + std::to_string(channel->number);
      name = byNumber;
      for (int i = 2; !taken.insert(name).second; ++i) name = byNumber + "#" + std::to_string(i);
    }
    return named;
  }

  // Sources that share a name carry their device's name, or their place in natural order where
  // that does not tell them apart.
  void nameSources() {
    std::map<std::pair<bool, std::string>, std::vector<Source*>> groups;
    // In the order of their own folders first, so that chips of one device keep their places.
    std::sort(sources_.begin(), sources_.end(),
              [](const Source& a, const Source& b) { return naturalLess(a.folder, b.folder); });
    for (Source& source : sources_) groups[{source.zone, source.name}].push_back(&source);
    for (auto& [key, group] : groups) {
      if (group.size() < 2) continue;
      std::stable_sort(group.begin(), group.end(), [](const Source* a, const Source* b) {
        return naturalLess(a->order, b->order);
      });
      std::set<std::string> devices;
      for (const Source* source : group) devices.insert(source->device);
      const bool byDevice = !key.first && devices.size() == group.size() && !devices.contains("");
      for (std::size_t i = 0; i < group.size(); ++i) {
        group[i]->suffix = byDevice ? "@" + escaped(group[i]->device) : "#" + std::to_string(i + 1);
      }
    }
  }

  // Of two that one rule takes, the first device in natural order; of one device's channels, the
  // first name in natural order, whatever number its driver gave the channel (a firmware may list
  // CPU_B1 before CPU_B0), as the first zone's type is taken among zones.
  static bool better(const FoundSensor& a, const FoundSensor& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (a.order != b.order) return naturalLess(a.order, b.order);
    if (a.name != b.name) return naturalLess(a.name, b.name);
    return a.channel < b.channel;
  }

  SensorInventory& inventory_;
  std::vector<Source> sources_;
  std::set<std::string> zoneTwins_;
};

// Walks a class folder's entries; a folder that does not exist holds nothing.
template <typename Visit>
int walkClass(const std::string& folder, Visit visit) {
  const int error = forEachEntry(
      folder, [&](std::string_view entry) { visit(folder + "/" + std::string(entry), entry); });
  return error == ENOENT || error == ENOTDIR ? 0 : error;
}

}  // namespace

kern_return_t ioReturnFor(SysfsStep step, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      // The sensor's own file refused is the SMC refusing the caller; a folder refused is a
      // search the caller may not make.
      return step == SysfsStep::search ? kIOReturnNotPermitted : kIOReturnNotPrivileged;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
      return kIOReturnNoDevice;  // the device went between the search and the call
    case EAGAIN:
      return kIOReturnNotReady;
    case ENODATA:
      return kIOReturnNotReadable;
    case ENOMEM:
      return kIOReturnNoMemory;
    case EMFILE:
    case ENFILE:
      return kIOReturnNoResources;
    case EIO:
      return kIOReturnIOError;
    default:
      return step == SysfsStep::read ? kIOReturnIOError : kIOReturnError;
  }
}

SensorText readSensorText(const char* text, std::size_t count, std::size_t capacity,
                          int64_t& millidegrees) {
  if (count == 0) return SensorText::empty;
  const bool number =
      count < capacity && sensor::parseMillidegrees(std::string_view(text, count), millidegrees);
  return number ? SensorText::temperature : SensorText::garbage;
}

SensorFileReading readSensorFile(const std::string& path) {
  SensorFileReading reading;
  // O_NONBLOCK: a FIFO in place of the sensor must not hang the search (sysfs ignores it).
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    reading.error = errno;
    return reading;
  }
  char text[32];
  const ssize_t count = ::pread(fd, text, sizeof text, 0);
  reading.error = count < 0 ? errno : 0;
  ::close(fd);
  if (count > 0) {
    reading.text =
        readSensorText(text, static_cast<std::size_t>(count), sizeof text, reading.millidegrees);
  }
  return reading;
}

bool plausibleCpuReading(int64_t millidegrees) {
  constexpr int64_t kColdest = -20'000;
  constexpr int64_t kHottest = 150'000;
  return millidegrees != 0 && millidegrees >= kColdest && millidegrees <= kHottest;
}

kern_return_t takeSensorInventory(const std::string& root, SensorInventory& inventory) {
  inventory = {};
  Walk walk(inventory);
  // Zones first: a hwmon chip is known as a zone's twin by them.
  int error =
      walkClass(root + "/class/thermal", [&](const std::string& path, std::string_view entry) {
        if (entry.starts_with("thermal_zone")) walk.addZone(path);
      });
  if (error == 0) {
    error = walkClass(root + "/class/hwmon",
                      [&](const std::string& path, std::string_view) { walk.addChip(path); });
  }
  if (error != 0) {
    inventory.error = error;
    return ioReturnFor(SysfsStep::search, error);
  }
  walk.finish();
  return kIOReturnSuccess;
}

kern_return_t findCpuSensor(const std::string& root, FoundSensor& sensor, std::string_view name) {
  sensor = {};
  SensorInventory inventory;
  if (const kern_return_t status = takeSensorInventory(root, inventory);
      status != kIOReturnSuccess) {
    return status;
  }
  std::ptrdiff_t found = inventory.automatic;
  if (!name.empty()) {
    const auto named = std::find_if(inventory.sensors.begin(), inventory.sensors.end(),
                                    [&](const FoundSensor& s) { return s.name == name; });
    found = named == inventory.sensors.end() ? -1 : named - inventory.sensors.begin();
  }
  if (found < 0) return inventory.denied ? kIOReturnNotPermitted : kIOReturnSuccess;
  sensor = std::move(inventory.sensors[static_cast<std::size_t>(found)]);
  return kIOReturnSuccess;
}

}  // namespace iokit
