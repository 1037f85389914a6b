// The program as its tray sees it (tray::Program): the sensors listed and the one shown, the
// choices kept in the user's settings, the entry that starts it at login, and the port's loop for
// a refresh and the end. It also presents each title the display side sets, as the user chose to
// see it: the reading in their unit, the warning state it puts the item in, the highest reading.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "appkit/port.h"
#include "sensor/sensor_list.h"
#include "sensor/warning.h"
#include "tray/tray.h"
#include "xdg/autostart.h"
#include "xdg/settings.h"

namespace runner {

class TrayProgram final : public tray::Program {
 public:
  // program: the real path of the running program, which the autostart entry starts; chosen: the
  // preferences read from the settings, which it applies at once (the refresh's interval for the
  // timer still to come). The tray calls it only from the port's loop, and port and sensor
  // outlive the loop's run.
  TrayProgram(appkit::Port& port, sensor::ShownSensor& sensor, const std::string& program,
              const preferences::Preferences& chosen = {});

  bool listSensors(std::vector<tray::OfferedSensor>& sensors) override;
  const std::string& chosenSensor() const override { return sensor_.chosen(); }
  const std::string& shownSensor() const override { return sensor_.foundName(); }
  bool chooseSensor(const std::string& name, std::string& problem) override;
  void refreshNow() override { port_.loop().refreshNow(); }
  bool startsAtLogin() const override { return autostart_.enabled(); }
  bool setStartsAtLogin(bool start, std::string& problem) override {
    return autostart_.setEnabled(start, problem);
  }
  const tray::Status& status() const override { return status_; }
  const preferences::Preferences& preferences() const override { return preferences_; }
  double refreshInterval() const override { return port_.loop().repeatInterval(); }
  bool choosePreferences(const preferences::Preferences& chosen, std::string& problem) override;
  void quit() override { port_.terminate(); }

  // The title the user sees for the one the display side set: a reading ("47.8°C") in the unit
  // chosen, from the exact reading it was made from, which also moves the warning and the highest
  // reading on; any other title (the text of a missing sensor) as it is. An unchanged reading
  // costs two comparisons.
  const std::string& present(const std::string& title);

 private:
  // The threshold the warning comes at: the user's, else the sensor's own; none when Off.
  void applyThreshold();
  // The status's texts in the unit chosen, from what is kept in degrees Celsius.
  void describe();

  appkit::Port& port_;
  sensor::ShownSensor& sensor_;
  xdg::Autostart autostart_;
  xdg::Settings settings_;
  preferences::Preferences preferences_;
  sensor::Warning warning_;
  sensor::Threshold sensorThreshold_;  // the shown sensor's own, as its last search found it
  tray::Status status_;
  // The title last presented, what it was made from, and what it became.
  std::string title_;
  std::optional<double> reading_;
  std::string presented_;
  // The highest reading since the sensor of that name was shown, and when.
  std::string highestOf_;
  std::optional<double> highest_;
  std::time_t highestAt_ = 0;
};

}  // namespace runner
