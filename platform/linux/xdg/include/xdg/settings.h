// What the user chose that outlives the program: the sensor the title shows, chosen in the tray's
// menu. Kept in <configuration folder>/quorvel/quorvel.conf, as
//
//   [Quorvel]
//   Sensor=coretemp Package id 0
//
// where no Sensor (or an empty one) means the automatic choice. A key file rather than a property
// list: it is how programs on Linux keep their settings under ~/.config (the Mac's counterpart is
// the application's user defaults), the user can read and mend it in any text editor, and the same
// reader and writer serve the autostart entry, with no other library. The user's other lines and
// comments in it are kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

 private:
  std::string path_;
};

}  // namespace xdg
