#include "sysfs_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace iokit {

namespace {

// What one sensor is worth: the lower the rank, the better.
struct Wanted {
  std::string_view chip;
  std::string_view label;
  int rank;
};

constexpr Wanted kWanted[] = {
    {"applesmc", "TC0P", 0}, {"coretemp", "Package id 0", 1}, {"k10temp", "Tdie", 2},
    {"k10temp", "Tctl", 3},  {"zenpower", "Tdie", 4},
};
constexpr int kThermalZoneRank = 5;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
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
    while (endA < a.size() && isDigit(a[endA])) ++endA;
    while (endB < b.size() && isDigit(b[endB])) ++endB;
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

struct Search {
  int bestRank = INT_MAX;
  std::string bestOrder;
  std::string bestPath;
  bool denied = false;  // something could not be searched for lack of permission

  void noteError(int error) {
    if (error == EACCES || error == EPERM) denied = true;
  }
  void offer(int rank, const std::string& order, const std::string& path) {
    if (rank < bestRank || (rank == bestRank && naturalLess(order, bestOrder))) {
      bestRank = rank;
      bestOrder = order;
      bestPath = path;
    }
  }
};

// Reads a short attribute (a name, a label, a type) without its trailing white space. Returns 0
// or the errno of the failure. O_NONBLOCK keeps a FIFO planted in the tree from hanging us.
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

bool exists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0;
}

// Where a chip sorts among chips of equal worth: its device's real path (socket 0's PCI function
// before socket 1's, coretemp.0 before coretemp.1), else its own real path.
std::string orderOf(const std::string& chip) {
  for (const std::string& path : {chip + "/device", chip}) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (real != nullptr) return real.get();
  }
  return chip;
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

// The channel number N of "tempN_label", or an empty view when the name is not one.
std::string_view labelChannel(std::string_view name) {
  constexpr std::string_view kPrefix = "temp";
  constexpr std::string_view kSuffix = "_label";
  if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
      !name.ends_with(kSuffix)) {
    return {};
  }
  const std::string_view number =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  for (const char c : number) {
    if (c < '0' || c > '9') return {};
  }
  return number;
}

void examineChip(const std::string& chip, Search& search) {
  const std::string folders[] = {chip, chip + "/device"};
  std::string name;
  // The name is in the chip's folder, else in its device's; a refusal of either counts, even
  // when the other is simply not there.
  if (const int error = readAttribute(folders[0] + "/name", name); error != 0) {
    if (const int fallback = readAttribute(folders[1] + "/name", name); fallback != 0) {
      search.noteError(error);
      search.noteError(fallback);
      return;
    }
  }
  bool known = false;
  for (const Wanted& wanted : kWanted) known = known || wanted.chip == name;
  if (!known) return;

  std::string order;
  for (const std::string& folder : folders) {
    const int error = forEachEntry(folder, [&](std::string_view entry) {
      const std::string_view channel = labelChannel(entry);
      if (channel.empty()) return;
      std::string label;
      const int labelError = readAttribute(folder + "/" + std::string(entry), label);
      if (labelError != 0) {
        search.noteError(labelError);
        return;
      }
      for (const Wanted& wanted : kWanted) {
        if (wanted.chip != name || wanted.label != label || wanted.rank > search.bestRank) continue;
        // The channel's input beside its label, else in the other folder.
        const std::string input = "/temp" + std::string(channel) + "_input";
        for (const std::string& inputFolder :
             {folder, folder == folders[0] ? folders[1] : folders[0]}) {
          if (!exists(inputFolder + input)) continue;
          if (order.empty()) order = orderOf(chip);
          search.offer(wanted.rank, order, inputFolder + input);
          break;
        }
      }
    });
    // A chip without a device/ folder is common; only a refusal matters.
    if (error != ENOENT && error != ENOTDIR) search.noteError(error);
  }
}

void examineThermalZone(const std::string& zone, Search& search) {
  std::string type;
  const int error = readAttribute(zone + "/type", type);
  if (error != 0) {
    search.noteError(error);
    return;
  }
  if (type != "x86_pkg_temp" || !exists(zone + "/temp")) return;
  search.offer(kThermalZoneRank, orderOf(zone), zone + "/temp");
}

}  // namespace

kern_return_t searchStatus(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return kIOReturnNotPermitted;
    case ENOMEM:
      return kIOReturnNoMemory;
    case EMFILE:
    case ENFILE:
      return kIOReturnNoResources;
    case EIO:
      return kIOReturnIOError;
    default:
      return kIOReturnError;
  }
}

kern_return_t findCpuSensor(const std::string& root, std::string& sensor) {
  sensor.clear();
  Search search;

  const std::string hwmon = root + "/class/hwmon";
  int error = forEachEntry(hwmon, [&](std::string_view entry) {
    examineChip(hwmon + "/" + std::string(entry), search);
  });
  // A root, or a class folder, that does not exist holds no sensor; one that refuses us fails.
  if (error != 0 && error != ENOENT && error != ENOTDIR) return searchStatus(error);

  if (search.bestRank < kThermalZoneRank) {
    sensor = search.bestPath;
    return kIOReturnSuccess;
  }
  const std::string thermal = root + "/class/thermal";
  error = forEachEntry(thermal, [&](std::string_view entry) {
    if (entry.starts_with("thermal_zone"))
      examineThermalZone(thermal + "/" + std::string(entry), search);
  });
  if (error != 0 && error != ENOENT && error != ENOTDIR) return searchStatus(error);

  if (search.bestPath.empty() && search.denied) return kIOReturnNotPermitted;
  sensor = search.bestPath;
  return kIOReturnSuccess;
}

}  // namespace iokit
