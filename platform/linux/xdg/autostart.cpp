#include "xdg/autostart.h"

#include <string_view>
#include <utility>

#include "appkit/small_file.h"
#include "text/ascii.h"
#include "text/utf8.h"
#include "xdg/key_file.h"
#include "xdg/user_files.h"

namespace xdg {

namespace {

constexpr std::string_view kGroup = "Desktop Entry";
constexpr std::string_view kHidden = "Hidden";
constexpr std::string_view kGnomeEnabled = "X-GNOME-Autostart-enabled";

// The program's path as the first word of an Exec value: in double quotes when it holds a
// character the command line reserves (or '=', which a program's name may not hold unquoted),
// with '"', '`', '$' and '\' escaped inside them; '%' doubled, since it starts a field code.
std::string execArgument(std::string_view path) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`=";
  const bool quoted = path.find_first_of(kReserved) != std::string_view::npos;
  std::string argument = quoted ? "\"" : "";
  for (const char c : path) {
    if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
    argument += c;
    if (c == '%') argument += '%';
  }
  if (quoted) argument += '"';
  return argument;
}

// The Exec value that starts the program at path. GLib 2.74 looks the first word of Exec up as a
// program before it undoes "%%", and so cannot load an entry whose program's path holds '%'
// ("Unable to load application information"): such a path goes to sh as an argument instead,
// which every reader undoes before it starts the command (env would take a path holding '=' for a
// variable).
std::string execValue(std::string_view path) {
  std::string argument = execArgument(path);
  if (path.find('%') == std::string_view::npos) return argument;
  return R"(/bin/sh -c "exec \"\$0\"" )" + argument;
}

// Whether the session passes the entry over, as GNOME's session reads it (with GLib): Hidden reads
// as true, or X-GNOME-Autostart-enabled is there and does not read as true (false, 0, or a value
// GLib does not take as a boolean, which it reads as false).
bool disabled(const KeyFile& entry) {
  return entry.boolean(kGroup, kHidden).value_or(false) ||
         (entry.value(kGroup, kGnomeEnabled) &&
          !entry.boolean(kGroup, kGnomeEnabled).value_or(false));
}

// Writes the entry whole, or says why not: never larger than kMaxEntryBytes, which enabled() would
// no longer read, and without a byte order mark, which GLib refuses.
bool writeEntry(const std::string& path, std::string text, std::string& problem) {
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  if (text.size() > Autostart::kMaxEntryBytes) {
    problem = path + " would grow past " + std::to_string(Autostart::kMaxEntryBytes) +
              " bytes, more than is read back: left as it is";
    return false;
  }
  return replaceFile(path, text, problem);
}

// The entry at path as the session would read it: the file as read, and its keys when it is a
// desktop entry (else why not, in problem).
struct Entry {
  appkit::SmallFile file;
  std::optional<KeyFile> keys;
  std::string problem;
};

Entry readEntry(const std::string& path) {
  Entry entry{appkit::readSmallFile(path, Autostart::kMaxEntryBytes), std::nullopt, {}};
  if (entry.file.status == appkit::SmallFile::Status::refused) {
    entry.problem = entry.file.problem;
  } else if (entry.file.status == appkit::SmallFile::Status::read) {
    std::string why;
    entry.keys = KeyFile::parse(entry.file.text, why);
    if (entry.keys && !entry.keys->hasGroup(kGroup)) why = "no [Desktop Entry] group";
    if (!why.empty()) {
      entry.keys.reset();
      entry.problem = path + " is not a desktop entry (" + why + ")";
    }
  }
  return entry;
}

}  // namespace

Autostart::Autostart(std::string configFolder, std::string program)
    : entryPath_(configFolder.empty()
                     ? ""
                     : std::move(configFolder) + "/autostart/org.quorvel.Quorvel.desktop"),
      program_(std::move(program)) {}

std::optional<std::string> Autostart::entryFor(const std::string& program, std::string& problem) {
  const std::string quoted = "the program's path \"" + text::printable(program, 200) + "\"";
  if (program.empty() || program.front() != '/') {
    problem = quoted + " is not absolute";
    return std::nullopt;
  }
  if (!text::wellFormedUtf8(program)) {
    problem = quoted + " is not UTF-8, which a desktop entry cannot hold";
    return std::nullopt;
  }
  for (const char c : program) {
    if (text::isControl(c)) {
      problem = quoted + " holds a control character, which a desktop entry cannot hold";
      return std::nullopt;
    }
  }
  KeyFile entry;
  const std::pair<std::string_view, std::string> keys[] = {
      {"Type", "Application"},
      {"Name", "Quorvel"},
      {"Comment", "Show the CPU temperature in the panel"},
      {"Exec", execValue(program)},
      {"TryExec", program},
      {"Icon", "org.quorvel.Quorvel"},
      {kGnomeEnabled, "true"},
  };
  for (const auto& [key, value] : keys) entry.set(kGroup, key, value);
  return entry.text();
}

bool Autostart::enabled() const {
  if (entryPath_.empty()) return false;
  const Entry entry = readEntry(entryPath_);
  if (entry.file.status == appkit::SmallFile::Status::absent) return false;
  return !entry.keys || !disabled(*entry.keys);
}

bool Autostart::setEnabled(bool enable, std::string& problem) {
  if (entryPath_.empty()) {
    problem = kUnknownConfigFolder;
    return false;
  }
  const Entry entry = readEntry(entryPath_);
  if (entry.file.status == appkit::SmallFile::Status::absent) {
    if (!enable) return true;
    const auto ours = entryFor(program_, problem);
    return ours && writeEntry(entryPath_, *ours, problem);
  }
  if (!entry.keys) {
    if (enable) return true;
    problem = entry.problem + ": left as it is";
    return false;
  }
  KeyFile keys = *entry.keys;
  if (enable != disabled(keys)) return true;  // already as asked
  if (enable) {
    keys.remove(kGroup, kHidden);
    if (keys.value(kGroup, kGnomeEnabled)) keys.set(kGroup, kGnomeEnabled, "true");
  } else {
    std::string notOurs;
    if (entryFor(program_, notOurs) == entry.file.text) return removeFile(entryPath_, problem);
    keys.set(kGroup, kHidden, "true");
    if (keys.value(kGroup, kGnomeEnabled)) keys.set(kGroup, kGnomeEnabled, "false");
  }
  return writeEntry(entryPath_, keys.text(), problem);
}

}  // namespace xdg
