#include "preferences/preferences.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/title.h"

namespace preferences {

namespace {

// A number as the file holds it: digits with an optional sign, point and exponent, nothing else
// (no blank, no "inf", no hexadecimal); read the same whatever the locale.
std::optional<double> number(std::string_view text) {
  if (text.empty() || text.front() == '+') return std::nullopt;
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::optional<Unit> parseUnit(std::string_view text, std::string& problem) {
  if (text == "C") return Unit::celsius;
  if (text == "F") return Unit::fahrenheit;
  problem = "is neither C nor F";
  return std::nullopt;
}

std::optional<WarnAt> parseWarnAt(std::string_view text, std::string& problem) {
  if (text == "Off") return WarnAt{WarnAt::Kind::off, 0.0};
  const auto celsius = number(text);
  if (!celsius) {
    problem = "is neither Off nor a number of degrees Celsius";
    return std::nullopt;
  }
  if (*celsius < kLowestWarnAt || *celsius > kHighestWarnAt) {
    problem = "is not between " + decimal(kLowestWarnAt) + " and " + decimal(kHighestWarnAt) +
              " degrees Celsius";
    return std::nullopt;
  }
  return WarnAt{WarnAt::Kind::fixed, *celsius};
}

std::optional<double> parseInterval(std::string_view text, std::string& problem) {
  const auto seconds = number(text);
  if (!seconds) {
    problem = "is not a number of seconds";
    return std::nullopt;
  }
  if (*seconds < kShortestInterval || *seconds > kLongestInterval) {
    problem = "is not between " + decimal(kShortestInterval) + " and " + decimal(kLongestInterval) +
              " seconds";
    return std::nullopt;
  }
  return seconds;
}

std::string_view unitText(Unit unit) {
  return unit == Unit::fahrenheit ? "F" : "C";
}

std::string warnAtText(const WarnAt& warnAt) {
  switch (warnAt.kind) {
    case WarnAt::Kind::automatic:
      return "";
    case WarnAt::Kind::off:
      return "Off";
    case WarnAt::Kind::fixed:
      return decimal(warnAt.celsius);
  }
  return "";
}

std::string intervalText(const std::optional<double>& interval) {
  return interval ? decimal(*interval) : "";
}

std::string_view unitSymbol(Unit unit) {
  return unit == Unit::fahrenheit ? "\u00b0F" : "\u00b0C";
}

std::string temperatureText(double celsius, Unit unit) {
  // Celsius is the title the display side has always shown, byte for byte.
  if (unit == Unit::celsius) return formatTemperatureTitle(celsius);
  char text[64];
  std::snprintf(text, sizeof text, "%.1f\u00b0F", inUnit(celsius, unit));
  return text;
}

std::string wholeDegreesText(double celsius, Unit unit) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f ", inUnit(celsius, unit));
  return text + std::string(unitSymbol(unit));
}

}  // namespace preferences
