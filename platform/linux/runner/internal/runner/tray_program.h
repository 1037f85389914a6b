// The program as its tray sees it (tray::Program): the sensors listed and the one shown, the
// choice kept in the user's settings, the entry that starts it at login, and the port's loop for
// a refresh and the end.
#pragma once

#include <string>
#include <vector>

#include "appkit/port.h"
#include "sensor/sensor_list.h"
#include "tray/tray.h"
#include "xdg/autostart.h"
#include "xdg/settings.h"

namespace runner {

class TrayProgram final : public tray::Program {
 public:
  // program: the real path of the running program, which the autostart entry starts. The tray
  // calls it only from the port's loop, and port and sensor outlive the loop's run.
  TrayProgram(appkit::Port& port, sensor::ShownSensor& sensor, const std::string& program);

  bool listSensors(std::vector<tray::OfferedSensor>& sensors) override;
  const std::string& chosenSensor() const override { return sensor_.chosen(); }
  const std::string& shownSensor() const override { return sensor_.foundName(); }
  bool chooseSensor(const std::string& name, std::string& problem) override;
  void refreshNow() override { port_.loop().refreshNow(); }
  bool startsAtLogin() const override { return autostart_.enabled(); }
  bool setStartsAtLogin(bool start, std::string& problem) override {
    return autostart_.setEnabled(start, problem);
  }
  void quit() override { port_.terminate(); }

 private:
  appkit::Port& port_;
  sensor::ShownSensor& sensor_;
  xdg::Autostart autostart_;
  xdg::Settings settings_;
};

}  // namespace runner
