#include "runner/tray_program.h"

#include <charconv>
#include <utility>

#include "app/title.h"
#include "xdg/user_files.h"

namespace runner {

namespace {

// The temperature a title in degrees Celsius shows ("47.8°C"), or nullopt for any other title.
std::optional<double> celsiusOfTitle(std::string_view title) {
  constexpr std::string_view kSymbol = "\u00b0C";
  if (!title.ends_with(kSymbol)) return std::nullopt;
  title.remove_suffix(kSymbol.size());
  double celsius = 0.0;
  const auto [end, error] =
      std::from_chars(title.data(), title.data() + title.size(), celsius, std::chars_format::fixed);
  if (error != std::errc() || end != title.data() + title.size()) return std::nullopt;
  return celsius;
}

// The time of day a reading was seen, as the menu and the tooltip say it ("14:32").
std::string timeOfDay(std::time_t when) {
  std::tm local{};
  char text[16] = "";
  if (localtime_r(&when, &local)) std::strftime(text, sizeof text, "%H:%M", &local);
  return text;
}

}  // namespace

TrayProgram::TrayProgram(appkit::Port& port, sensor::ShownSensor& sensor,
                         const std::string& program, const preferences::Preferences& chosen)
    : port_(port),
      sensor_(sensor),
      autostart_(xdg::userConfigFolder(), program),
      settings_(xdg::userConfigFolder()),
      preferences_(chosen),
      sensorThreshold_(sensor.threshold()) {
  port_.loop().setRepeatInterval(preferences_.interval);
  applyThreshold();
  describe();
}

bool TrayProgram::listSensors(std::vector<tray::OfferedSensor>& sensors) {
  std::vector<sensor::ListedSensor> listed;
  std::string problem;
  sensors.clear();
  if (!sensor::listSensors(sensor_.root(), listed, problem, {}, preferences_.unit)) return false;
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

bool TrayProgram::choosePreferences(const preferences::Preferences& chosen, std::string& problem) {
  const preferences::Preferences before = std::exchange(preferences_, chosen);
  if (chosen.interval != before.interval) port_.loop().setRepeatInterval(chosen.interval);
  if (chosen.warnAt != before.warnAt) applyThreshold();
  // The next title is presented anew, in the unit chosen; what the status says, at once.
  title_.clear();
  reading_.reset();
  describe();
  return settings_.storePreferences(before, chosen, problem);
}

const std::string& TrayProgram::present(const std::string& title) {
  const std::optional<double>& reading = sensor_.lastReading();
  if (title == title_ && reading == reading_) return presented_;
  title_ = title;
  reading_ = reading;
  // Another sensor shown (chosen, or found again after it stopped answering): its own threshold,
  // and its own highest reading from now.
  bool described = false;
  if (sensor_.threshold() != sensorThreshold_) {
    sensorThreshold_ = sensor_.threshold();
    applyThreshold();
    described = true;
  }
  if (sensor_.foundName() != highestOf_) {
    highestOf_ = sensor_.foundName();
    highest_.reset();
    described = true;
  }
  // The title is the reading's when it is the text the reading gives; the reading then moves the
  // warning and the highest one on. A title of another reading (a sensor that reads badly shows
  // 0.0°C) is only shown in the unit.
  std::optional<double> celsius;
  const bool ofReading = reading && formatTemperatureTitle(*reading) == title;
  if (ofReading) {
    celsius = reading;
    warning_.update(*reading);
    if (!highest_ || *reading > *highest_) {
      highest_ = reading;
      highestAt_ = std::time(nullptr);
      described = true;
    }
  } else {
    celsius = celsiusOfTitle(title);
  }
  presented_ = celsius ? preferences::temperatureText(*celsius, preferences_.unit) : title;
  status_.hot = warning_.hot();
  if (ofReading) {
    status_.reading = presented_;
  } else {
    status_.reading.clear();
  }
  if (described) describe();
  return presented_;
}

void TrayProgram::applyThreshold() {
  switch (preferences_.warnAt.kind) {
    case preferences::WarnAt::Kind::automatic:
      warning_.setThreshold(sensorThreshold_.celsius);
      break;
    case preferences::WarnAt::Kind::off:
      warning_.setThreshold(std::nullopt);
      break;
    case preferences::WarnAt::Kind::fixed:
      warning_.setThreshold(preferences_.warnAt.celsius);
      break;
  }
}

void TrayProgram::describe() {
  const preferences::Unit unit = preferences_.unit;
  status_.hot = warning_.hot();
  status_.highest =
      highest_ ? preferences::temperatureText(*highest_, unit) + " at " + timeOfDay(highestAt_)
               : "";
  status_.threshold =
      warning_.threshold() ? preferences::temperatureText(*warning_.threshold(), unit) : "";
  status_.automaticThreshold = preferences::temperatureText(sensorThreshold_.celsius, unit) + ", " +
                               sensor::thresholdOrigin(sensorThreshold_.source, unit);
}

}  // namespace runner
