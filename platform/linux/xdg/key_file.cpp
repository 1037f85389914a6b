#include "xdg/key_file.h"

#include "text/utf8.h"

#include <set>
#include <utility>

namespace xdg {

namespace {

bool blank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view withoutLeadingBlanks(std::string_view text) {
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view withoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool blankLine(std::string_view line) {
  return withoutLeadingBlanks(line).empty();
}

// A group's name: printable ASCII but the brackets.
bool groupName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (c < ' ' || c > '~' || c == '[' || c == ']') return false;
  }
  return true;
}

// A character of a key or of its locale: printable ASCII but '=', the brackets and space.
bool keyCharacter(char c) {
  return c > ' ' && c <= '~' && c != '=' && c != '[' && c != ']';
}

// Reads "Key=Value" or "Key[locale]=Value", blanks allowed before the key and around '=': the key
// with its locale, and where the value starts. Nullopt when line is no entry.
std::optional<std::pair<std::string_view, std::size_t>> entry(std::string_view line) {
  std::size_t at = line.size() - withoutLeadingBlanks(line).size();
  const std::size_t start = at;
  while (at < line.size() && keyCharacter(line[at])) ++at;
  if (at == start) return std::nullopt;
  if (at < line.size() && line[at] == '[') {
    const std::size_t locale = ++at;
    while (at < line.size() && keyCharacter(line[at])) ++at;
    if (at == locale || at == line.size() || line[at] != ']') return std::nullopt;
    ++at;
  }
  const std::string_view key = line.substr(start, at - start);
  while (at < line.size() && blank(line[at])) ++at;
  if (at == line.size() || line[at] != '=') return std::nullopt;
  ++at;
  while (at < line.size() && blank(line[at])) ++at;
  return std::pair{key, at};
}

// A group header's name, or nullopt when line is no header.
std::optional<std::string_view> header(std::string_view line) {
  line = withoutTrailingBlanks(withoutLeadingBlanks(line));
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  const std::string_view name = line.substr(1, line.size() - 2);
  if (!groupName(name)) return std::nullopt;
  return name;
}

// A value as the file holds it: backslash, line feed, tab and carriage return escaped, and a space
// at either end written "\s".
std::string escaped(std::string_view value) {
  std::string text;
  text.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    switch (value[i]) {
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\t':
        text += "\\t";
        break;
      case '\r':
        text += "\\r";
        break;
      case ' ':
        text += i == 0 || i + 1 == value.size() ? "\\s" : " ";
        break;
      default:
        text += value[i];
    }
  }
  return text;
}

std::string unescaped(std::string_view text) {
  std::string value;
  value.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[i + 1];
      const char meant = next == 's'    ? ' '
                         : next == 'n'  ? '\n'
                         : next == 't'  ? '\t'
                         : next == 'r'  ? '\r'
                         : next == '\\' ? '\\'
                                        : '\0';
      if (meant != '\0') {
        value += meant;
        ++i;
        continue;
      }
    }
    value += text[i];
  }
  return value;
}

// "line 3: the key K a second time in [A]".
std::string twice(const std::string& where, const std::string& what, const std::string& in) {
  return where + ": " + what + " a second time" + in;
}

}  // namespace

std::optional<KeyFile> KeyFile::parse(std::string_view text, std::string& problem) {
  KeyFile file;
  std::set<std::string, std::less<>> groups;
  std::set<std::string, std::less<>> keys;  // of the group being read
  std::string group;
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    file.endsWithLineFeed_ = end != std::string_view::npos;
    const std::string where = "line " + std::to_string(++number);

    Line read{std::string(line), {}, {}, 0};
    if (!text::wellFormedUtf8(line) || line.find('\0') != std::string_view::npos) {
      problem = where + " is not UTF-8 text";
      return std::nullopt;
    }
    if (blankLine(line) || withoutLeadingBlanks(line).front() == '#') {
      // A comment or a blank line, kept as it is.
    } else if (const auto name = header(line)) {
      if (!groups.emplace(*name).second) {
        problem = twice(where, "the group [" + std::string(*name) + "]", "");
        return std::nullopt;
      }
      group = read.group = *name;
      keys.clear();
    } else if (const auto pair = entry(line)) {
      if (group.empty()) {
        problem = where + ": an entry before the first group";
        return std::nullopt;
      }
      if (!keys.emplace(pair->first).second) {
        problem = twice(where, "the key " + std::string(pair->first), " in [" + group + "]");
        return std::nullopt;
      }
      read.key = pair->first;
      read.valueAt = pair->second;
    } else {
      problem = where + " is neither a comment, a group header nor an entry";
      return std::nullopt;
    }
    file.lines_.push_back(std::move(read));
  }
  return file;
}

std::size_t KeyFile::find(std::string_view group, std::string_view key) const {
  std::string_view current;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.header()) {
      current = line.group;
      if (key.empty() && current == group) return i;
    } else if (!key.empty() && line.key == key && current == group) {
      return i;
    }
  }
  return lines_.size();
}

void KeyFile::insert(std::size_t at, Line line) {
  if (at == lines_.size()) endsWithLineFeed_ = true;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::optional<std::string> KeyFile::value(std::string_view group, std::string_view key) const {
  const std::size_t at = key.empty() ? lines_.size() : find(group, key);
  if (at == lines_.size()) return std::nullopt;
  return unescaped(std::string_view(lines_[at].text).substr(lines_[at].valueAt));
}

bool KeyFile::set(std::string_view group, std::string_view key, std::string_view value) {
  const std::string line = std::string(key) + "=" + escaped(value);
  const auto read = entry(line);
  if (!groupName(group) || !read || read->first != key || !text::wellFormedUtf8(value) ||
      value.find('\0') != std::string_view::npos) {
    return false;
  }
  if (const std::size_t at = find(group, key); at < lines_.size()) {
    Line& existing = lines_[at];
    existing.text = existing.text.substr(0, existing.valueAt) + escaped(value);
    return true;
  }
  std::size_t at = find(group, "");
  if (at == lines_.size()) {
    if (!lines_.empty() && !blankLine(lines_.back().text)) insert(at++, Line{});
    insert(at, Line{"[" + std::string(group) + "]", std::string(group), {}, 0});
  }
  // After the group's last entry, or its header: comments and blank lines that follow belong to
  // what comes next.
  std::size_t after = at++;
  for (; at < lines_.size() && !lines_[at].header(); ++at) {
    if (lines_[at].entry()) after = at;
  }
  insert(after + 1, Line{line, {}, std::string(key), read->second});
  return true;
}

bool KeyFile::remove(std::string_view group, std::string_view key) {
  const std::size_t at = key.empty() ? lines_.size() : find(group, key);
  if (at == lines_.size()) return false;
  // The line before a last line without a line feed keeps its own.
  if (at + 1 == lines_.size()) endsWithLineFeed_ = true;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

bool KeyFile::hasGroup(std::string_view group) const {
  return find(group, "") < lines_.size();
}

std::string KeyFile::text() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i].text;
    if (i + 1 < lines_.size() || endsWithLineFeed_) text += '\n';
  }
  return text;
}

}  // namespace xdg
