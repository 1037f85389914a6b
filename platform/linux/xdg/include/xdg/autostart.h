// "Start at login": the desktop entry in the user's autostart folder, <configuration folder>/
// autostart/org.quorvel.Quorvel.desktop, which the session reads at login (the XDG autostart
// convention): it starts the program unless the entry's [Desktop Entry] group says Hidden=true, or
// X-GNOME-Autostart-enabled=false as GNOME's tools write. The entry is read as GNOME's session
// reads it with GLib (KeyFile): Hidden=1 and "Hidden=true " hide it too,
// X-GNOME-Autostart-enabled=0 or any value that is no boolean disables it, and of a key given twice
// the last one counts.
//
// The entry is the user's as much as ours: one they wrote or changed is disabled, never removed,
// and keeps all their lines. Only the entry exactly as this program writes it is removed.
//
// Something at the entry's name that cannot be read as a desktop entry (a symbolic link, a FIFO or
// anything else but a regular file, a file over kMaxEntryBytes, one we may not read, or text that
// is not a key file with a [Desktop Entry] group) counts as present and enabled, since the session
// may well follow it and start what it says, and is never changed by this program: enabling it
// is done already, disabling it fails and says why, so that the user can look at it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace xdg {

class Autostart {
 public:
  static constexpr std::size_t kMaxEntryBytes = 64 << 10;  // a copied entry with its translations

  // configFolder: the user's configuration folder (userConfigFolder; "" when it cannot be told,
  // and then enabling and disabling fail). program: the absolute path the entry starts, the real
  // path of the running program.
  Autostart(std::string configFolder, std::string program);

  // Where the entry is; "" without a configuration folder.
  const std::string& entryPath() const { return entryPath_; }

  // The entry this program writes for program: a desktop entry that starts it (Exec and TryExec
  // its path, quoted and escaped as the format asks; a path holding '%', which GLib 2.74 cannot
  // launch as Exec's first word, is given to /bin/sh to start), with its name, comment and icon.
  // Nullopt with why in problem when program cannot go in an entry: not an absolute path, not
  // UTF-8, or holding a control character.
  static std::optional<std::string> entryFor(const std::string& program, std::string& problem);

  // Whether the session will start the program at login: the entry is there and neither hidden nor
  // disabled (or cannot be read as a desktop entry: see above). No entry, or no configuration
  // folder: false.
  bool enabled() const;

  // Makes the program start at login, or not, changing nothing when it already does (or does
  // not). Enabling writes this program's entry where there is none, and re-enables a disabled one
  // in place: Hidden removed, X-GNOME-Autostart-enabled set to true where it is present, every
  // other line as it was. Disabling removes the entry when it is exactly this program's, and
  // otherwise sets Hidden=true (and X-GNOME-Autostart-enabled=false where that key is present),
  // every other line as it was (but a byte order mark, which GLib refuses). Written atomically
  // (replaceFile), so that a failure changes nothing: false, with why in problem (the folder is not
  // a folder or is another user's, the disk is full or read-only, the program's path cannot go in
  // an entry, the entry cannot be read, the change would make it larger than kMaxEntryBytes).
  bool setEnabled(bool enable, std::string& problem);

 private:
  std::string entryPath_;
  std::string program_;
};

}  // namespace xdg
