// The temperature sensors of this machine as a user sees them: each by its stable name, with its
// reading as the title shows it, the CPU's marked; and the choice of one of them by name. Plain
// C++: the program's runner reaches the sensor through it without IOKit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sensor {

struct ListedSensor {
  std::string name;        // stable: chip and label ("coretemp/Package id 0") or a zone's type
  std::string reading;     // as the title shows it ("47.8°C"), empty when it cannot be read
  std::string problem;     // why it cannot be read, when it cannot
  bool automatic = false;  // the one Quorvel shows when no sensor is named
};

// Every temperature sensor under root, ordered by name. Returns false, with the reason in
// problem, when root cannot be searched.
bool listSensors(const std::string& root, std::vector<ListedSensor>& sensors, std::string& problem);

// Whether a sensor of that name is under root now. Names are compared whole: a path, odd bytes
// or an overlong text name no sensor, and no file is opened by them.
bool hasSensorNamed(const std::string& root, std::string_view name);

// From now on the machine's sensor device reads the sensor of that name instead of the CPU's
// (an empty name: the CPU's again). A device already made keeps what it had.
void showSensorNamed(std::string name);

// The name of the sensor the machine's sensor device reads, as its last search found it: the one
// named by showSensorNamed when that is there, else the CPU's; empty when there is none. Reads
// nothing: the device's search has walked the tree already.
std::string shownSensorName();

// The sysfs mount: $SYSFS_PATH, or "/sys" when it is unset or empty.
std::string sysfsRoot();

}  // namespace sensor
