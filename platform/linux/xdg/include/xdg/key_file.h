// A key file as desktop entries and the settings of programs under ~/.config are written: groups
// ("[Desktop Entry]"), entries ("Key=Value", "Key[locale]=Value"), comments ("#...") and blank
// lines. A file read and written back is the same bytes but for what was set or removed: the
// user's lines, comments, spacing, order and line ends stay as they were.
//
// It is read as GLib's reader (GKeyFile, which the desktops' sessions use) reads it, so that a file
// that the user's desktop takes is taken here too, and kept:
//   - lines end at a line feed, and a carriage return just before it is part of the line end
//     (CR LF files), kept as it was and given to the lines added;
//   - blanks (space, tab, carriage return, form feed) before any line are ignored and kept;
//   - a comment is a line whose first character but blanks is '#'; a blank line is one too;
//   - a group header is "[Name]", blanks after it allowed: a name of UTF-8 text but '[', ']' and
//     control characters; a group may come twice, and its entries are then one group's;
//   - an entry is "Key=Value" or "Key[locale]=Value": a key of UTF-8 text but '=', '[', ']' and
//     control characters, with no space at either end, blanks before '=' and after it ignored, a
//     locale of ASCII letters, digits and "-_.@"; a key may come twice in its group, and the last
//     one is its value (the others stay as they are);
//   - a value is any bytes but a line feed and NUL, as GLib loads them (a value's own reader says
//     whether it is UTF-8); its escapes are undone by value().
// Unlike GLib's reader, a UTF-8 byte order mark at the start is taken (and kept), as systemd's
// reader and the editors that write it take it: GLib 2.74 refuses such a file, which is why what
// is written for others to read (the autostart entry) is written without one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xdg {

class KeyFile {
 public:
  // An empty file: no groups.
  KeyFile() = default;

  // The key file text holds, or nullopt with why in problem ("line 3 is neither a comment, a
  // group header nor an entry") when it is not one: a line that is none of the above, an entry
  // before the first group, a group name or a key as the above does not allow, or a NUL byte.
  static std::optional<KeyFile> parse(std::string_view text, std::string& problem);

  // The value of key (with its locale, if any: "Name[de]") in group, its escapes undone ("\s"
  // space, "\n" line feed, "\t" tab, "\r" carriage return, "\\" backslash; any other backslash
  // stays as it is, as the ';' of a list escaped "\;" does); nullopt when there is no such entry.
  std::optional<std::string> value(std::string_view group, std::string_view key) const;

  // The value of key in group as GLib reads a boolean (g_key_file_get_boolean): "true" and "1" are
  // true, "false" and "0" false, blanks after them ignored (space, tab, carriage return, form
  // feed), nothing else taken ("True", "yes", an escape); nullopt when there is no such entry or
  // its value is none of these.
  std::optional<bool> boolean(std::string_view group, std::string_view key) const;

  // Gives key in group value, escaped as above (and spaces at either end written "\s", so that no
  // reader trims them): the entry's line changes in place (the last one, when the key comes more
  // than once), keeping what precedes its value; a new entry goes after the last entry of the
  // group's last header (right after the header when it has none); a missing group is added at
  // the end, after a blank line when the file does not end with one. Refused, changing nothing,
  // when the group name, the key or the value could not be read back as given: false.
  bool set(std::string_view group, std::string_view key, std::string_view value);

  // Removes key's lines from group, every one of them: whether it had one.
  bool remove(std::string_view group, std::string_view key);

  // Whether the file has a group of that name.
  bool hasGroup(std::string_view group) const;

  // The file's text: what parse was given, with the changes made since.
  std::string text() const;

 private:
  struct Line {
    std::string text;             // without its line end
    bool carriageReturn = false;  // ended by CR LF rather than LF
    std::string group;            // a header's name (empty for any other line)
    std::string key;              // an entry's key, locale included (empty for any other line)
    std::size_t valueAt = 0;      // where an entry's value starts in text
    bool header() const { return !group.empty(); }
    bool entry() const { return !key.empty(); }
  };

  // The index of key's last line in group, or of group's last header (key empty); lines_.size()
  // if none.
  std::size_t find(std::string_view group, std::string_view key) const;
  void insert(std::size_t at, Line line);

  std::vector<Line> lines_;
  bool endsWithLineFeed_ = false;
  bool byteOrderMark_ = false;
  bool carriageReturns_ = false;  // the first line ends with CR LF: so do the lines added
};

}  // namespace xdg
