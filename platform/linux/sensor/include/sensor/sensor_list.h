// The temperature sensors of this machine as a user sees them: each by its stable name, with its
// reading as the title shows it, the CPU's marked; and the choice of one of them by name. Plain
// C++: the program's runner reaches the sensor through it without IOKit.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sensor/warning.h"

namespace iokit {
class SysfsSensor;
}

namespace sensor {

struct ListedSensor {
  std::string name;        // stable: chip and label ("coretemp/Package id 0") or a zone's type
  std::string reading;     // as the title shows it ("47.8°C"), empty when it cannot be read
  std::string problem;     // why it cannot be read, when it cannot
  bool automatic = false;  // the one Quorvel shows when no sensor is named
  bool shown = false;      // the one a run shows: the one named for it, else the automatic one
};

// Every temperature sensor under root, ordered by name. named is the sensor a run shows instead
// of the CPU's (the one --sensor names, or the one chosen in the menu before); empty: the CPU's;
// a name no sensor has: none is shown. Returns false, with the reason in problem, when root
// cannot be searched.
bool listSensors(const std::string& root, std::vector<ListedSensor>& sensors, std::string& problem,
                 std::string_view named = {});

// One line of the list, as a user reads it: the name, a tab, the reading as the title shows it
// (or "unreadable: " and why); on the sensor shown, a tab and "*", and where that is not the
// CPU's own choice, a space and why (the word given: how it was named).
std::string listedLine(const ListedSensor& sensor, std::string_view why);

// Whether a sensor of that name is under root now. Names are compared whole: a path, odd bytes
// or an overlong text name no sensor, and no file is opened by them.
bool hasSensorNamed(const std::string& root, std::string_view name);

// The sensor the program shows: what the device behind IOKit's "AppleSMC" service reads, the CPU's
// sensor or the one the user chose. Made once by the runner, which owns it; it shares its device
// with the IOKit stand-in, which reads through it as a platform's service reads its device, and
// tells it what to read. Another device put in the stand-in's place later (a test's) is left
// alone.
class ShownSensor {
 public:
  // Puts a device in the stand-in's place that reads the CPU's sensor under root.
  explicit ShownSensor(std::string root);
  ~ShownSensor();
  ShownSensor(const ShownSensor&) = delete;
  ShownSensor& operator=(const ShownSensor&) = delete;

  // From the next reading on, the sensor of that name (a name listSensors gives); an empty name:
  // the CPU's again. The device searches for it then, once; a reading stays one pread after.
  void show(std::string name);
  // The name last asked for; empty for the CPU's.
  const std::string& chosen() const { return chosen_; }
  // The name of the sensor the device's last search found, the one a reading reads; empty when
  // there is none. Reads nothing; good until the next reading.
  const std::string& foundName() const;
  // When that sensor runs hot: its own high limit where its driver gives one that says so
  // honestly, else the default (kDefaultThreshold, also when none was found), with where it came
  // from. Read from the sensor's limits at that same search (found, chosen or found again), never
  // per reading; reads nothing itself; good until the next reading.
  const Threshold& threshold() const;
  const std::string& root() const { return root_; }

 private:
  std::string root_;
  std::string chosen_;
  std::shared_ptr<iokit::SysfsSensor> device_;
};

// The sysfs mount: $SYSFS_PATH, or "/sys" when it is unset or empty.
std::string sysfsRoot();

}  // namespace sensor
