#include "sensor/sensor_list.h"

#include <cstring>
#include <utility>

#include "app/title.h"
#include "sensor/sensor_text.h"
#include "smc/smc_block.h"
#include "sysfs_search.h"
#include "sysfs_sensor.h"

namespace sensor {

namespace {

// One reading of a sensor's file, as the title would show it; false with the reason otherwise.
bool readAsTitle(const std::string& path, std::string& reading, std::string& problem) {
  const iokit::SensorFileReading read = iokit::readSensorFile(path);
  if (read.error != 0) {
    problem = std::strerror(read.error);
  } else if (read.text == iokit::SensorText::empty) {
    problem = "no data";
  } else if (read.text == iokit::SensorText::garbage) {
    problem = "not a temperature";
  } else {
    const auto sp78 = static_cast<uint16_t>(sensor::millidegreesToSp78(read.millidegrees));
    reading = formatTemperatureTitle(
        sp78ToCelsius(static_cast<uint8_t>(sp78 >> 8), static_cast<uint8_t>(sp78)));
    return true;
  }
  return false;
}

}  // namespace

bool listSensors(const std::string& root, std::vector<ListedSensor>& sensors, std::string& problem,
                 std::string_view named) {
  sensors.clear();
  iokit::SensorInventory inventory;
  const kern_return_t status = iokit::takeSensorInventory(root, inventory);
  if (status != kIOReturnSuccess) {
    problem = std::strerror(inventory.error);
    return false;
  }
  for (std::size_t i = 0; i < inventory.sensors.size(); ++i) {
    ListedSensor listed;
    listed.name = inventory.sensors[i].name;
    listed.automatic = static_cast<std::ptrdiff_t>(i) == inventory.automatic;
    listed.shown = named.empty() ? listed.automatic : listed.name == named;
    readAsTitle(inventory.sensors[i].path, listed.reading, listed.problem);
    sensors.push_back(std::move(listed));
  }
  return true;
}

std::string listedLine(const ListedSensor& sensor, std::string_view why) {
  std::string line = sensor.name + '\t';
  line += sensor.problem.empty() ? sensor.reading : "unreadable: " + sensor.problem;
  if (sensor.shown) line += sensor.automatic ? "\t*" : "\t* " + std::string(why);
  return line;
}

bool hasSensorNamed(const std::string& root, std::string_view name) {
  iokit::FoundSensor found;
  return !name.empty() && iokit::findCpuSensor(root, found, name) == kIOReturnSuccess &&
         !found.path.empty();
}

ShownSensor::ShownSensor(std::string root)
    : root_(std::move(root)), device_(std::make_shared<iokit::SysfsSensor>(root_)) {
  iokit::placeSmcDevice(device_);
}

ShownSensor::~ShownSensor() = default;

void ShownSensor::show(std::string name) {
  chosen_ = std::move(name);
  device_->show(chosen_);
}

const std::string& ShownSensor::foundName() const {
  return device_->foundName();
}

const Threshold& ShownSensor::threshold() const {
  return device_->threshold();
}

std::string sysfsRoot() {
  return iokit::SysfsSensor::rootFromEnvironment();
}

}  // namespace sensor
