// Finding the CPU temperature sensor in a sysfs tree.
#pragma once

#include <IOKit/IOKitLib.h>

#include <string>

namespace iokit {

// Looks under root (a sysfs mount, or a tree laid out like one) for the CPU temperature file, in
// this order of preference:
//   1. the applesmc driver's channel labelled "TC0P";
//   2. coretemp "Package id 0", then k10temp "Tdie", k10temp "Tctl", zenpower "Tdie";
//   3. the thermal zone of type "x86_pkg_temp".
// Chips are recognised by their name and their channels' temp*_label, looked for in the hwmon
// folder and in its device/ folder; their hwmonN numbers mean nothing. Of two equally good
// sensors, the one whose chip's device path sorts first wins.
// Returns kIOReturnSuccess with sensor set to the file's path, or empty when there is none (a
// root that does not exist has none). Returns kIOReturnNotPermitted when the root or a class
// folder cannot be searched, or when nothing was found and something could not be searched.
kern_return_t findCpuSensor(const std::string& root, std::string& sensor);

// The IOKit status for the errno of a failed search.
kern_return_t searchStatus(int error);

}  // namespace iokit
