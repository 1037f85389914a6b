#include "runner/tray_program.h"

#include <utility>

#include "xdg/user_files.h"

namespace runner {

TrayProgram::TrayProgram(appkit::Port& port, sensor::ShownSensor& sensor,
                         const std::string& program)
    : port_(port),
      sensor_(sensor),
      autostart_(xdg::userConfigFolder(), program),
      settings_(xdg::userConfigFolder()) {}

bool TrayProgram::listSensors(std::vector<tray::OfferedSensor>& sensors) {
  std::vector<sensor::ListedSensor> listed;
  std::string problem;
  sensors.clear();
  if (!sensor::listSensors(sensor_.root(), listed, problem)) return false;
  sensors.reserve(listed.size());
  for (auto& one : listed) {
    sensors.push_back(
        {std::move(one.name), std::move(one.reading), std::move(one.problem), one.automatic});
  }
  return true;
}

bool TrayProgram::chooseSensor(const std::string& name, std::string& problem) {
  sensor_.show(name);
  return settings_.storeSensor(name, problem);
}

}  // namespace runner
