// The text a temperature shows as: the menu-bar item's title, and wherever a reading is shown as
// the title would show it (the Linux sensor list). Header only, so that those sides see nothing
// else of the display side.
#pragma once

#include <cstdio>
#include <string>

// The title for a temperature: "%.1f°C", always with a decimal point, whatever the locale.
inline std::string formatTemperatureTitle(double celsius) {
  // The program never calls setlocale, so the C library formats in the "C" locale: the
  // separator is a point whatever the user's locale says.
  char text[64];
  std::snprintf(text, sizeof text, "%.1f\u00b0C", celsius);
  return text;
}
