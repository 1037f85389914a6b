#include "appkit/autostart.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "support/read_file.h"
#include "support/refusing_folders.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using appkit::Autostart;

namespace {

constexpr char kProgram[] = "/usr/bin/quorvel";
constexpr char kName[] = "org.quorvel.Quorvel.desktop";

// A desktop entry of the user's own: theirs to keep, line for line.
constexpr char kUsers[] =
    "# Started with my own options\n"
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Quorvel\n"
    "Name[de]=Quorvel\n"
    "Exec=quorvel --verbose\n"
    "X-GNOME-Autostart-enabled=true\n"
    "X-GNOME-Autostart-Delay=10\n"
    "\n"
    "[X-Mine]\n"
    "Note=kept\n";
constexpr char kUsersDisabled[] =
    "# Started with my own options\n"
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Quorvel\n"
    "Name[de]=Quorvel\n"
    "Exec=quorvel --verbose\n"
    "X-GNOME-Autostart-enabled=false\n"
    "X-GNOME-Autostart-Delay=10\n"
    "Hidden=true\n"
    "\n"
    "[X-Mine]\n"
    "Note=kept\n";
constexpr char kHidden[] =
    "[Desktop Entry]\nType=Application\nName=Quorvel\nExec=/usr/bin/quorvel\nHidden=true\n";
constexpr char kHiddenShown[] =
    "[Desktop Entry]\nType=Application\nName=Quorvel\n"
    "Exec=/usr/bin/quorvel\n";
// Turned off in GNOME's settings; the last line has no line feed.
constexpr char kOffForGnome[] =
    "[Desktop Entry]\nType=Application\nName=Quorvel\nExec=quorvel\n"
    "X-GNOME-Autostart-enabled=false";
constexpr char kOnForGnome[] =
    "[Desktop Entry]\nType=Application\nName=Quorvel\nExec=quorvel\n"
    "X-GNOME-Autostart-enabled=true";
constexpr char kOurs[] = "(this program's entry)";

// What is in the configuration folder at the start, besides the entry's text.
enum class Place : unsigned char {
  noConfigFolder,    // neither XDG_CONFIG_HOME nor HOME could tell one
  nothing,           // the configuration folder does not exist
  file,              // the entry holds the row's text
  symlink,           // the entry is a symbolic link to a file elsewhere holding the text
  fifo,              // the entry is a FIFO that no one writes
  tooLarge,          // the entry is a key file of 70 KiB
  folderIsAFile,     // "autostart" is a file
  nobodysFolder,     // "autostart" is another user's, the entry in it if the row has one (root)
  unwritableFolder,  // "autostart" cannot be written in
  fullDisk,          // no file grows past 16 bytes
};

enum class Disk : unsigned char { absent, ours, unchanged, text };

struct Outcome {
  bool done;
  const char* problem;  // a part of it, when not done
  Disk disk;
  const char* text = "";  // with Disk::text
};

struct Row {
  const char* name;
  Place place;
  const char* entry;  // nullptr: none; kOurs: this program's
  bool enabled;
  Outcome enable;
  Outcome disable;
  bool undone = false;  // the other change gives the entry back byte for byte
  const char* program = kProgram;
  const char* exec = "Exec=/usr/bin/quorvel";  // in this program's entry
};

const Row kRows[] = {
    {"Absent", Place::nothing, nullptr, false, {true, "", Disk::ours}, {true, "", Disk::absent}},
    {"Ours", Place::file, kOurs, true, {true, "", Disk::unchanged}, {true, "", Disk::absent}},
    {"TheUsers",
     Place::file,
     kUsers,
     true,
     {true, "", Disk::unchanged},
     {true, "", Disk::text, kUsersDisabled},
     true},
    {"Hidden",
     Place::file,
     kHidden,
     false,
     {true, "", Disk::text, kHiddenShown},
     {true, "", Disk::unchanged},
     true},
    {"OffForGnome",
     Place::file,
     kOffForGnome,
     false,
     {true, "", Disk::text, kOnForGnome},
     {true, "", Disk::unchanged}},
    {"NoConfigFolder",
     Place::noConfigFolder,
     nullptr,
     false,
     {false, "the configuration folder is unknown", Disk::absent},
     {false, "the configuration folder is unknown", Disk::absent}},
    {"FolderIsAFile",
     Place::folderIsAFile,
     nullptr,
     false,
     {false, "/autostart is not a folder", Disk::unchanged},
     {true, "", Disk::unchanged}},
    {"NobodysFolderWithOurs",
     Place::nobodysFolder,
     kOurs,
     true,
     {true, "", Disk::unchanged},
     {false, "/autostart is owned by another user", Disk::unchanged}},
    {"NobodysEmptyFolder",
     Place::nobodysFolder,
     nullptr,
     false,
     {false, "/autostart is owned by another user", Disk::absent},
     {true, "", Disk::absent}},
    {"UnwritableFolderWithOurs",
     Place::unwritableFolder,
     kOurs,
     true,
     {true, "", Disk::unchanged},
     {false, ": Permission denied", Disk::unchanged}},
    {"UnwritableFolderWithTheUsers",
     Place::unwritableFolder,
     kUsers,
     true,
     {true, "", Disk::unchanged},
     {false, "/autostart: Permission denied", Disk::unchanged}},
    {"FullDisk",
     Place::fullDisk,
     kHidden,
     false,
     {false, ": File too large", Disk::unchanged},
     {true, "", Disk::unchanged}},
    {"FullDiskNoEntry",
     Place::fullDisk,
     nullptr,
     false,
     {false, ": File too large", Disk::absent},
     {true, "", Disk::absent}},
    {"Symlink",
     Place::symlink,
     kOurs,
     true,
     {true, "", Disk::unchanged},
     {false, "org.quorvel.Quorvel.desktop is a symbolic link: left as it is", Disk::unchanged}},
    {"Fifo",
     Place::fifo,
     nullptr,
     true,
     {true, "", Disk::unchanged},
     {false, " is not a regular file: left as it is", Disk::unchanged}},
    {"TooLarge",
     Place::tooLarge,
     nullptr,
     true,
     {true, "", Disk::unchanged},
     {false, " is larger than 65536 bytes", Disk::unchanged}},
    {"Malformed",
     Place::file,
     "Exec=quorvel\n[Desktop Entry]\n",
     true,
     {true, "", Disk::unchanged},
     {false, " is not a desktop entry (line 1: an entry before the first group)", Disk::unchanged}},
    {"NotADesktopEntry",
     Place::file,
     "[Settings]\nExec=quorvel\n",
     true,
     {true, "", Disk::unchanged},
     {false, " is not a desktop entry (no [Desktop Entry] group)", Disk::unchanged}},
    {"ProgramInAnOddFolder",
     Place::nothing,
     nullptr,
     false,
     {true, "", Disk::ours},
     {true, "", Disk::absent},
     false,
     "/opt/Mes \"Apps\"/caf\xC3\xA9\\b$c%/quorvel",
     "Exec=\"/opt/Mes \\\\\"Apps\\\\\"/caf\xC3\xA9\\\\\\\\b\\\\$c%%/quorvel\"\n"
     "TryExec=/opt/Mes \"Apps\"/caf\xC3\xA9\\\\b$c%/quorvel"},
    {"ProgramNotUtf8",
     Place::nothing,
     nullptr,
     false,
     {false, "the program's path \"/opt/caf?/quorvel\" is not UTF-8", Disk::absent},
     {true, "", Disk::absent},
     false,
     "/opt/caf\xE9/quorvel"},
    {"ProgramWithALineFeed",
     Place::nothing,
     nullptr,
     false,
     {false, "holds a control character", Disk::absent},
     {true, "", Disk::absent},
     false,
     "/opt/a\nb/quorvel"},
};

// What is at a path: its kind, and the bytes of a file or of a link's target.
struct Found {
  mode_t kind = 0;  // 0: nothing
  std::string bytes;
  bool operator==(const Found&) const = default;
};

Found found(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return {};
  Found what{status.st_mode & S_IFMT, ""};
  if (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)) what.bytes = readFile(path).value_or("");
  return what;
}

// Whether desktop-file-validate finds nothing wrong with the entry at path ("" if so, else what
// it says); nullopt when it is not installed.
std::optional<std::string> validatorSays(const fs::path& path) {
  if (std::system("desktop-file-validate --help >/dev/null 2>&1") != 0) return std::nullopt;
  FILE* output = ::popen(("desktop-file-validate '" + path.string() + "' 2>&1").c_str(), "r");
  if (output == nullptr) return "cannot run desktop-file-validate";
  std::string said;
  char buffer[512];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, output)) > 0;) {
    said.append(buffer, got);
  }
  const int status = ::pclose(output);
  if (said.empty() && status != 0) said = "desktop-file-validate failed";
  return said;
}

// A row by its name in a failure's message.
void PrintTo(const Row& row, std::ostream* stream) {
  *stream << row.name;
}

class AutostartEntry : public testing::TestWithParam<Row> {};

// Each state of the entry, with enabled() before and after, and what each of setEnabled(true) and
// setEnabled(false) leaves on disk.
TEST_P(AutostartEntry, IsReadAndChangedAsTheSessionAndTheUserExpect) {
  const Row& row = GetParam();
  const bool needsAnotherUser = row.place == Place::nobodysFolder;
  if (needsAnotherUser && !runningAsRoot()) GTEST_SKIP() << "only root can give a folder away";
  std::string ours, why;
  if (const auto entry = Autostart::entryFor(row.program, why)) ours = *entry;

  for (const bool enable : {true, false}) {
    SCOPED_TRACE(enable ? "enabling" : "disabling");
    const Outcome& expected = enable ? row.enable : row.disable;
    TempDir dir;
    const fs::path config = dir.path() / "config";
    const fs::path folder = config / "autostart";
    const fs::path entry = folder / kName;
    const std::string text = row.entry == kOurs ? ours : row.entry ? row.entry : "";
    if (row.place != Place::nothing && row.place != Place::noConfigFolder) {
      fs::create_directories(folder);
    }
    switch (row.place) {
      case Place::symlink:
        fs::create_symlink(dir.write("elsewhere.desktop", text), entry);
        break;
      case Place::fifo:
        ASSERT_EQ(::mkfifo(entry.c_str(), 0644), 0);
        break;
      case Place::tooLarge:
        dir.write(entry.lexically_relative(dir.path()),
                  "[Desktop Entry]\n" + std::string(70 << 10, '#') + "\n");
        break;
      case Place::folderIsAFile:
        fs::remove(folder);
        dir.write(folder.lexically_relative(dir.path()), "not a folder");
        break;
      default:
        if (row.entry) dir.write(entry.lexically_relative(dir.path()), text);
    }
    if (row.place == Place::nobodysFolder) giveToNobody(folder);
    const Found before = found(row.place == Place::folderIsAFile ? folder : entry);

    std::unique_ptr<UnwritableFolder> unwritable;
    std::unique_ptr<FileSizeLimit> limit;
    if (row.place == Place::unwritableFolder) {
      unwritable = std::make_unique<UnwritableFolder>(dir.path(), folder);
    }
    if (row.place == Place::fullDisk) limit = std::make_unique<FileSizeLimit>(16);

    Autostart autostart(row.place == Place::noConfigFolder ? "" : config.string(), row.program);
    EXPECT_EQ(autostart.enabled(), row.enabled);
    std::string problem;
    EXPECT_EQ(autostart.setEnabled(enable, problem), expected.done) << problem;
    if (expected.done) {
      EXPECT_EQ(problem, "");
      EXPECT_EQ(autostart.enabled(), enable);
    } else {
      EXPECT_NE(problem.find(expected.problem), std::string::npos) << problem;
      EXPECT_EQ(autostart.enabled(), row.enabled);
    }

    const Found after = found(row.place == Place::folderIsAFile ? folder : entry);
    switch (expected.disk) {
      case Disk::absent:
        EXPECT_EQ(after, Found{});
        break;
      case Disk::unchanged:
        EXPECT_EQ(after, before);
        break;
      case Disk::ours:
        EXPECT_EQ(after, (Found{S_IFREG, ours}));
        break;
      case Disk::text:
        EXPECT_EQ(after, (Found{S_IFREG, expected.text}));
        break;
    }
    if (expected.disk == Disk::ours) {
      EXPECT_NE(ours.find(std::string("\n") + row.exec + "\n"), std::string::npos) << ours;
      // The folders made for it are the user's alone.
      if (row.place == Place::nothing) {
        EXPECT_EQ(fs::status(config).permissions(), fs::perms(0700));
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms(0700));
      }
    }
    if (after.kind == S_IFREG && after != before) {
      const auto said = validatorSays(entry);
      EXPECT_EQ(said.value_or(""), "") << after.bytes;
    }
    if (row.undone && expected.disk == Disk::text) {
      EXPECT_TRUE(autostart.setEnabled(!enable, problem)) << problem;
      EXPECT_EQ(readFile(entry), text);
    }
    // Nothing half-written is left behind: the folder holds the entry, or nothing.
    std::error_code error;
    if (fs::is_directory(folder, error)) {
      for (const auto& file : fs::directory_iterator(folder)) {
        EXPECT_EQ(file.path().filename(), kName);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(States, AutostartEntry, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
