// A key file as desktop entries and the settings of programs under ~/.config are written: groups
// ("[Desktop Entry]"), entries ("Key=Value", "Key[locale]=Value"), comments ("#...") and blank
// lines, in UTF-8, lines ended by a line feed. A file read and written back is the same bytes but
// for what was set or removed: the user's lines, comments, spacing and order stay as they were.
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
  // group header nor an entry") when it is not one:
  //   - a line that is not UTF-8, or holds a NUL byte;
  //   - a line that is not blank, a comment ('#' first), a group header ("[Name]": printable ASCII
  //     but '[' and ']') nor an entry ("Key=Value", optionally "Key[locale]=Value": a key of
  //     printable ASCII but '=', '[', ']' and space, spaces around '=' ignored);
  //   - an entry before the first group;
  //   - a group header a second time, or a key a second time in its group.
  // Spaces and tabs before any line are allowed and kept. A carriage return is no line end: a
  // file with CR LF endings is not a key file unless its lines still parse with the CR in them.
  static std::optional<KeyFile> parse(std::string_view text, std::string& problem);

  // The value of key (with its locale, if any: "Name[de]") in group, its escapes undone ("\s"
  // space, "\n" line feed, "\t" tab, "\r" carriage return, "\\" backslash; any other backslash
  // stays as it is, as the ';' of a list escaped "\;" does); nullopt when there is no such entry.
  std::optional<std::string> value(std::string_view group, std::string_view key) const;

  // Gives key in group value, escaped as above (and spaces at either end written "\s", so that no
  // reader trims them): the entry's line changes in place, keeping what precedes its value; a new
  // entry goes after the group's last entry (right after its header when it has none); a missing
  // group is added at the end, after a blank line when the file does not end with one. Refused,
  // changing nothing, when the group name, the key or the value could not be read back: false.
  bool set(std::string_view group, std::string_view key, std::string_view value);

  // Removes key's line from group, if it has one: whether it had.
  bool remove(std::string_view group, std::string_view key);

  // Whether the file has a group of that name.
  bool hasGroup(std::string_view group) const;

  // The file's text: what parse was given, with the changes made since.
  std::string text() const;

 private:
  struct Line {
    std::string text;
    std::string group;        // a header's name (empty for any other line)
    std::string key;          // an entry's key, locale included (empty for any other line)
    std::size_t valueAt = 0;  // where an entry's value starts in text
    bool header() const { return !group.empty(); }
    bool entry() const { return !key.empty(); }
  };

  // The index of key's line in group, or of group's header (key empty); lines_.size() if none.
  std::size_t find(std::string_view group, std::string_view key) const;
  void insert(std::size_t at, Line line);

  std::vector<Line> lines_;
  bool endsWithLineFeed_ = false;
};

}  // namespace xdg
