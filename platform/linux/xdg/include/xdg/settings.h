// What the user chose that outlives the program: the sensor the title shows and how it shows it,
// chosen in the tray's menu or written by hand. Kept in <configuration
// folder>/quorvel/quorvel.conf, as
//
//   [Quorvel]
//   Sensor=coretemp Package id 0
//   Unit=F
//
// where no Sensor (or an empty one) means the automatic choice; the other keys are told in
// preferences/preferences.h. A key file rather than a property
// list: it is how programs on Linux keep their settings under ~/.config (the Mac's counterpart is
// the application's user defaults), the user can read and mend it in any text editor, and the same
// reader and writer serve the autostart entry, with no other library. The user's other lines and
// comments in it are kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "preferences/preferences.h"
#include "xdg/key_file.h"

namespace xdg {

class Settings {
 public:
  static constexpr std::size_t kMaxFileBytes = 8 << 10;

  // configFolder: the user's configuration folder (userConfigFolder; "" when it cannot be told:
  // nothing is stored then, and storing fails).
  explicit Settings(std::string configFolder);

  // Where the settings are; "" without a configuration folder.
  const std::string& path() const { return path_; }

  // The sensor the user chose last: its name, or "" for the automatic choice (also when there is
  // no file). A file that cannot be used (unreadable, a FIFO or a symbolic link or anything but a
  // regular file, over kMaxFileBytes, not a key file, or a Sensor that is not printable ASCII)
  // gives "" too, with why in problem, for the caller to say once; the file is left as it is.
  std::string sensor(std::string& problem) const;

  // Remembers name (printable ASCII; "" for the automatic choice) as the sensor chosen, written
  // atomically (replaceFile), the file's other lines as they were. False, with why in problem and
  // nothing changed, when name is not printable ASCII, when the file cannot be used (as above: it
  // is the user's still, and is left for them to mend), when the change would make it larger than
  // kMaxFileBytes (which the next start would refuse), or when it cannot be written.
  bool storeSensor(std::string_view name, std::string& problem);

  // Everything the user chose, from one reading of the file: the sensor, as sensor() gives it,
  // and how they chose to see the temperature, the defaults where the file says nothing (or there
  // is none). A value not of its key's form or out of its range is ignored, its default used, with
  // a line in notices that names it and says why; a file that cannot be used, or a sensor name
  // that cannot, gives the defaults and one line for it, first.
  struct Chosen {
    std::string sensor;
    preferences::Preferences preferences;
  };
  Chosen chosen(std::vector<std::string>& notices) const;

  // Keeps the preferences chosen: each key whose value differs between before and chosen is
  // written (a default: left out), the file's other lines as they were, at once and atomically.
  // False, with why in problem and nothing changed, as storeSensor says.
  bool storePreferences(const preferences::Preferences& before,
                        const preferences::Preferences& chosen, std::string& problem);

 private:
  // Writes each change's value under its key ("" leaves the key out), the rest as it was read.
  using Change = std::pair<std::string_view, std::string>;
  // What the file's keys say of the sensor, and of the preferences.
  std::string sensorIn(const KeyFile& keys, std::string& problem) const;
  preferences::Preferences preferencesIn(const KeyFile& keys,
                                         std::vector<std::string>& notices) const;
  bool store(const std::vector<Change>& changes, std::string& problem);

  std::string path_;
};

}  // namespace xdg
