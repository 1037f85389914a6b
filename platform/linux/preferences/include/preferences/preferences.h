// What the user chose of how the temperature is shown, beyond the sensor: the unit, when the
// reading counts as hot, whether a notification says so, and how often the sensor is read. Kept
// as keys of the settings file and offered in the tray's menu; each choice's values, its text in
// the file and its range are told here once. Plain C++, no system call.
//
//   [Quorvel]
//   Unit=F          C (the default) or F
//   WarnAt=85       degrees Celsius whatever the unit, 20 to 150; Off; absent: the sensor's own
//   Notify=true     a notification when the reading crosses it upward (GLib's booleans)
//   Interval=2      seconds between readings, 0.5 to 3600; absent: the bundle's interval
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace preferences {

enum class Unit : unsigned char { celsius, fahrenheit };

// When the item warns: at the sensor's own threshold, never, or at degrees the user chose.
struct WarnAt {
  enum class Kind : unsigned char { automatic, off, fixed };
  Kind kind = Kind::automatic;
  double celsius = 0.0;  // for fixed

  bool operator==(const WarnAt&) const = default;
};

struct Preferences {
  Unit unit = Unit::celsius;
  WarnAt warnAt;
  // Off unless the user turns it on: the number turning to the warning colour already says it;
  // a load that keeps a laptop at its limit would otherwise bring one notification after another.
  bool notify = false;
  std::optional<double> interval;  // seconds; nullopt: the bundle's interval

  bool operator==(const Preferences&) const = default;
};

// The keys of the settings file's [Quorvel] group.
inline constexpr std::string_view kUnitKey = "Unit";
inline constexpr std::string_view kWarnAtKey = "WarnAt";
inline constexpr std::string_view kNotifyKey = "Notify";
inline constexpr std::string_view kIntervalKey = "Interval";

// What the menu offers: seconds between readings, and degrees Celsius to warn at.
inline constexpr std::array<int, 5> kIntervalChoices{1, 2, 5, 10, 30};
inline constexpr std::array<int, 5> kWarnAtChoices{60, 70, 80, 90, 100};

// What the file may hold. Shorter than half a second would keep the CPU busy reading its own
// heat; past an hour the display is no longer a monitor. Below 20 °C or above 150 °C no CPU's
// warning makes sense (the same bounds the sensor's own limits are held to).
inline constexpr double kShortestInterval = 0.5;
inline constexpr double kLongestInterval = 3600.0;
inline constexpr double kLowestWarnAt = 20.0;
inline constexpr double kHighestWarnAt = 150.0;

// Each key's value from the file's text, or nullopt, with why in problem, for one that is not of
// its form or out of its range (the caller uses the default and says so once).
std::optional<Unit> parseUnit(std::string_view text, std::string& problem);
std::optional<WarnAt> parseWarnAt(std::string_view text, std::string& problem);
std::optional<double> parseInterval(std::string_view text, std::string& problem);

// Each value as the file keeps it; "" where the key is left out (the default).
std::string_view unitText(Unit unit);
std::string warnAtText(const WarnAt& warnAt);
std::string intervalText(const std::optional<double>& interval);

// Degrees Celsius in the unit.
inline double inUnit(double celsius, Unit unit) {
  return unit == Unit::fahrenheit ? celsius * 9.0 / 5.0 + 32.0 : celsius;
}
// "°C" or "°F".
std::string_view unitSymbol(Unit unit);
// A temperature as the title shows it: "%.1f°C", or "%.1f°F" in Fahrenheit, with a point
// whatever the locale.
std::string temperatureText(double celsius, Unit unit);
// A temperature as the menu offers it, in whole degrees: "90 °C", "194 °F".
std::string wholeDegreesText(double celsius, Unit unit);

}  // namespace preferences
