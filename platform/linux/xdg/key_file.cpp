#include "xdg/key_file.h"

#include <utility>

#include "text/ascii.h"
#include "text/utf8.h"

namespace xdg {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A blank as GLib's key-file reader skips it (g_ascii_isspace: no vertical tab); a line holds no
// line feed.
bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f';
}

std::string_view withoutLeadingBlanks(std::string_view text) {
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view withoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// A group's name: UTF-8 text but the brackets and control characters.
bool groupName(std::string_view name) {
  if (name.empty() || !text::wellFormedUtf8(name)) return false;
  for (const char c : name) {
    if (c == '[' || c == ']' || text::isControl(c)) return false;
  }
  return true;
}

bool localeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '@';
}

// A key, its locale included: UTF-8 text but '=', the brackets and control characters, with no
// space at either end, then "[locale]" or nothing.
bool keyName(std::string_view key) {
  const std::size_t bracket = key.find('[');
  const std::string_view name = key.substr(0, bracket);
  if (name.empty() || name.front() == ' ' || name.back() == ' ' || !text::wellFormedUtf8(name)) {
    return false;
  }
  for (const char c : name) {
    if (c == '=' || c == ']' || text::isControl(c)) return false;
  }
  if (bracket == std::string_view::npos) return true;
  std::string_view locale = key.substr(bracket + 1);
  if (locale.empty() || locale.back() != ']') return false;
  locale.remove_suffix(1);
  for (const char c : locale) {
    if (!localeCharacter(c)) return false;
  }
  return true;
}

// What a line is, as GLib's reader tells it: a comment (or blank line), a group header (name: the
// text between the brackets, to be checked), an entry (name: its key, to be checked; valueAt:
// where its value starts), or none of these.
struct Parsed {
  enum class Kind : unsigned char { comment, header, entry, none } kind = Kind::none;
  std::string_view name;
  std::size_t valueAt = 0;
};

Parsed parseLine(std::string_view line) {
  const std::string_view rest = withoutLeadingBlanks(line);
  if (rest.empty() || rest.front() == '#') return {Parsed::Kind::comment, {}, 0};
  if (rest.front() == '[') {
    // Only spaces and tabs may follow the first ']'.
    const std::size_t close = rest.find(']');
    if (close != std::string_view::npos &&
        rest.find_first_not_of(" \t", close + 1) == std::string_view::npos) {
      return {Parsed::Kind::header, rest.substr(1, close - 1), 0};
    }
  }
  const std::size_t equals = rest.find('=');
  if (equals == std::string_view::npos || equals == 0) return {};
  const std::size_t at = line.size() - rest.size() + equals + 1;
  return {Parsed::Kind::entry, withoutTrailingBlanks(rest.substr(0, equals)),
          line.size() - withoutLeadingBlanks(line.substr(at)).size()};
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

}  // namespace

std::optional<KeyFile> KeyFile::parse(std::string_view text, std::string& problem) {
  KeyFile file;
  if (text.starts_with(kByteOrderMark)) {
    file.byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  bool inGroup = false;
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    file.endsWithLineFeed_ = end != std::string_view::npos;
    const std::string where = "line " + std::to_string(++number);

    Line read;
    if (end != std::string_view::npos && line.ends_with('\r')) {
      read.carriageReturn = true;
      line.remove_suffix(1);
    }
    if (number == 1) file.carriageReturns_ = read.carriageReturn;
    if (line.find('\0') != std::string_view::npos) {
      problem = where + " holds a NUL byte";
      return std::nullopt;
    }
    const Parsed parsed = parseLine(line);
    if (parsed.kind == Parsed::Kind::header) {
      if (!groupName(parsed.name)) {
        problem = where + ": a group name holds a bracket or a control character, or is not UTF-8";
        return std::nullopt;
      }
      read.group = parsed.name;
      inGroup = true;
    } else if (parsed.kind == Parsed::Kind::entry) {
      if (!inGroup) {
        problem = where + ": an entry before the first group";
        return std::nullopt;
      }
      if (!keyName(parsed.name)) {
        problem = where + ": a key holds a bracket or a control character, or is not UTF-8";
        return std::nullopt;
      }
      read.key = parsed.name;
      read.valueAt = parsed.valueAt;
    } else if (parsed.kind == Parsed::Kind::none) {
      problem = where + " is neither a comment, a group header nor an entry";
      return std::nullopt;
    }
    read.text = line;
    file.lines_.push_back(std::move(read));
  }
  return file;
}

std::size_t KeyFile::find(std::string_view group, std::string_view key) const {
  std::size_t found = lines_.size();
  std::string_view current;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.header()) {
      current = line.group;
      if (key.empty() && current == group) found = i;
    } else if (!key.empty() && line.key == key && current == group) {
      found = i;
    }
  }
  return found;
}

void KeyFile::insert(std::size_t at, Line line) {
  if (at == lines_.size()) {
    // The last line gets a line end, as the others have.
    if (!endsWithLineFeed_ && !lines_.empty()) lines_.back().carriageReturn = carriageReturns_;
    endsWithLineFeed_ = true;
  }
  line.carriageReturn = carriageReturns_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::optional<std::string> KeyFile::value(std::string_view group, std::string_view key) const {
  const std::size_t at = key.empty() ? lines_.size() : find(group, key);
  if (at == lines_.size()) return std::nullopt;
  return unescaped(std::string_view(lines_[at].text).substr(lines_[at].valueAt));
}

std::optional<bool> KeyFile::boolean(std::string_view group, std::string_view key) const {
  const std::size_t at = key.empty() ? lines_.size() : find(group, key);
  if (at == lines_.size()) return std::nullopt;
  const std::string_view value =
      withoutTrailingBlanks(std::string_view(lines_[at].text).substr(lines_[at].valueAt));
  if (value == "true" || value == "1") return true;
  if (value == "false" || value == "0") return false;
  return std::nullopt;
}

bool KeyFile::set(std::string_view group, std::string_view key, std::string_view value) {
  if (!groupName(group) || !keyName(key) || !text::wellFormedUtf8(value) ||
      value.find('\0') != std::string_view::npos) {
    return false;
  }
  // Written as it will be read back: a value whose start a reader would skip is refused.
  const std::string line = std::string(key) + "=" + escaped(value);
  const Parsed read = parseLine(line);
  if (read.kind != Parsed::Kind::entry || read.name != key ||
      unescaped(std::string_view(line).substr(read.valueAt)) != value) {
    return false;
  }
  if (const std::size_t at = find(group, key); at < lines_.size()) {
    Line& existing = lines_[at];
    existing.text = existing.text.substr(0, existing.valueAt) + escaped(value);
    return true;
  }
  std::size_t at = find(group, "");
  if (at == lines_.size()) {
    if (!lines_.empty() && !withoutLeadingBlanks(lines_.back().text).empty()) {
      insert(at++, Line{});
    }
    insert(at, Line{"[" + std::string(group) + "]", false, std::string(group), {}, 0});
  }
  // After the group's last entry, or its header: comments and blank lines that follow belong to
  // what comes next.
  std::size_t after = at++;
  for (; at < lines_.size() && !lines_[at].header(); ++at) {
    if (lines_[at].entry()) after = at;
  }
  insert(after + 1, Line{line, false, {}, std::string(key), read.valueAt});
  return true;
}

bool KeyFile::remove(std::string_view group, std::string_view key) {
  if (key.empty()) return false;
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  std::string current;
  bool lastRemoved = false;
  for (Line& line : lines_) {
    if (line.header()) current = line.group;
    lastRemoved = !line.header() && line.key == key && current == group;
    if (!lastRemoved) kept.push_back(std::move(line));
  }
  const bool removed = kept.size() < lines_.size();
  // The line before a last line without a line feed keeps its own.
  if (lastRemoved) endsWithLineFeed_ = true;
  lines_ = std::move(kept);
  return removed;
}

bool KeyFile::hasGroup(std::string_view group) const {
  return find(group, "") < lines_.size();
}

std::string KeyFile::text() const {
  std::string text(byteOrderMark_ ? kByteOrderMark : "");
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i].text;
    if (i + 1 < lines_.size() || endsWithLineFeed_)
      text += lines_[i].carriageReturn ? "\r\n" : "\n";
  }
  return text;
}

}  // namespace xdg
