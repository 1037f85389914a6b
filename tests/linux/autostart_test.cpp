#include "xdg/autostart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "support/process.h"
#include "support/read_file.h"
#include "support/refusing_folders.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using xdg::Autostart;

namespace {

constexpr char kName[] = "org.quorvel.Quorvel.desktop";
constexpr char kOurs[] = "(this program's entry)";
// The user's own entry, and what disabling it leaves: all their lines.
constexpr char kUsers[] =
    "# mine\n[Desktop Entry]\nType=Application\nName=Quorvel\nExec=quorvel --verbose\n"
    "X-GNOME-Autostart-enabled=true\nX-GNOME-Autostart-Delay=9\n\n[X-Mine]\nNote=kept\n";
constexpr char kUsersOff[] =
    "# mine\n[Desktop Entry]\nType=Application\nName=Quorvel\nExec=quorvel --verbose\n"
    "X-GNOME-Autostart-enabled=false\nX-GNOME-Autostart-Delay=9\nHidden=true\n"
    "\n[X-Mine]\nNote=kept\n";
const std::string kShown = "[Desktop Entry]\nType=Application\nName=Quorvel\nExec=quorvel\n";
const std::string kHidden = kShown + "Hidden=true\n";
// Turned off in GNOME's settings, the last line without a line feed.
const std::string kGnomeOff = kShown + "X-GNOME-Autostart-enabled=false";
const std::string kGnomeOn = kShown + "X-GNOME-Autostart-enabled=true";
// Off as GLib reads booleans; read as GLib reads key files; one byte short of the limit.
const std::string kHiddenOne = kShown + "Hidden=1\n", kHiddenBlank = kShown + "Hidden=true \n",
                  kGnomeZero = kShown + "X-GNOME-Autostart-enabled=0";
const std::string kGLibs = "\xEF\xBB\xBF[Desktop Entry]\r\nHidden=true\r\nHidden=0\r\n",
                  kGLibsOff = kGLibs.substr(3, 37) + "true\r\n";
const std::string kNearTheLimit = kShown + "#" + std::string(65536 - 11 - kShown.size() - 1, ' ');

// What is there at the start, besides the entry's text.
enum class Place : unsigned char {
  noConfig,    // no configuration folder could be told
  none,        // the configuration folder does not exist
  file,        // the entry holds the text
  link,        // the entry is a symbolic link to a file elsewhere holding the text
  fifo,        // the entry is a FIFO no one writes
  huge,        // the entry is a key file of 70 KiB
  folderFile,  // "autostart" is a file
  nobodys,     // "autostart" is another user's (root only)
  readOnly,    // "autostart" cannot be written in
  full,        // no file grows past 16 bytes, as on a full disk
};
enum class Disk : unsigned char { absent, ours, same, text };
struct Outcome {
  bool done;
  Disk disk;
  const char* text;  // what is written (Disk::text), or a part of the problem when not done
};
Outcome done(Disk disk, const char* text = "") {
  return {true, disk, text};
}
Outcome fails(Disk disk, const char* problem) {
  return {false, disk, problem};
}

struct Row {
  const char* name;
  Place place;
  const char* entry;  // nullptr: none
  bool enabled;
  Outcome enable, disable;
  bool undone = false;  // the other change gives the entry back byte for byte
  const char* program = "/usr/bin/quorvel";
  const char* exec = "\nExec=/usr/bin/quorvel\nTryExec=/usr/bin/quorvel\n";  // in our entry
};
void PrintTo(const Row& row, std::ostream* stream) {
  *stream << row.name;
}

const Row kRows[] = {
    {"Absent", Place::none, nullptr, false, done(Disk::ours), done(Disk::absent)},
    {"Ours", Place::file, kOurs, true, done(Disk::same), done(Disk::absent)},
    {"TheUsers", Place::file, kUsers, true, done(Disk::same), done(Disk::text, kUsersOff), true},
    {"Hidden", Place::file, kHidden.c_str(), false, done(Disk::text, kShown.c_str()),
     done(Disk::same), true},
    {"OffForGnome", Place::file, kGnomeOff.c_str(), false, done(Disk::text, kGnomeOn.c_str()),
     done(Disk::same)},
    {"NoConfigFolder", Place::noConfig, nullptr, false,
     fails(Disk::absent, "the configuration folder is unknown"),
     fails(Disk::absent, "the configuration folder is unknown")},
    {"FolderIsAFile", Place::folderFile, nullptr, false,
     fails(Disk::same, "/autostart is not a folder"), done(Disk::same)},
    {"NobodysFolder", Place::nobodys, kOurs, true, done(Disk::same),
     fails(Disk::same, "/autostart is owned by another user")},
    {"NobodysEmptyFolder", Place::nobodys, nullptr, false,
     fails(Disk::absent, "/autostart is owned by another user"), done(Disk::absent)},
    {"ReadOnlyFolder", Place::readOnly, kOurs, true, done(Disk::same),
     fails(Disk::same, ".desktop: Permission denied")},
    {"ReadOnlyFolderTheUsers", Place::readOnly, kUsers, true, done(Disk::same),
     fails(Disk::same, "/autostart: Permission denied")},
    {"FullDisk", Place::full, kHidden.c_str(), false, fails(Disk::same, ": File too large"),
     done(Disk::same)},
    {"FullDiskNoEntry", Place::full, nullptr, false, fails(Disk::absent, ": File too large"),
     done(Disk::absent)},
    {"Symlink", Place::link, kOurs, true, done(Disk::same),
     fails(Disk::same, ".desktop is a symbolic link: left as it is")},
    {"Fifo", Place::fifo, nullptr, true, done(Disk::same),
     fails(Disk::same, ".desktop is not a regular file: left as it is")},
    {"TooLarge", Place::huge, nullptr, true, done(Disk::same),
     fails(Disk::same, ".desktop is larger than 65536 bytes: left as it is")},
    {"Malformed", Place::file, "Exec=quorvel\n[Desktop Entry]\n", true, done(Disk::same),
     fails(Disk::same,
           ".desktop is not a desktop entry (line 1: an entry before the first group)")},
    {"NotADesktopEntry", Place::file, "[Settings]\n", true, done(Disk::same),
     fails(Disk::same, ".desktop is not a desktop entry (no [Desktop Entry] group)")},
    {"ProgramInAnOddFolder", Place::none, nullptr, false, done(Disk::ours), done(Disk::absent),
     false, "/opt/Mes \"Apps\"/caf\xC3\xA9\\b$c%/quorvel",
     "\nExec=/bin/sh -c \"exec \\\\\"\\\\$0\\\\\"\" "
     "\"/opt/Mes \\\\\"Apps\\\\\"/caf\xC3\xA9\\\\\\\\b\\\\$c%%/quorvel\"\n"
     "TryExec=/opt/Mes \"Apps\"/caf\xC3\xA9\\\\b$c%/quorvel\n"},
    {"HiddenOne", Place::file, kHiddenOne.c_str(), false, done(Disk::text, kShown.c_str()),
     done(Disk::same)},
    {"HiddenTrueAndABlank", Place::file, kHiddenBlank.c_str(), false,
     done(Disk::text, kShown.c_str()), done(Disk::same)},
    {"OffForGnomeAsZero", Place::file, kGnomeZero.c_str(), false,
     done(Disk::text, kGnomeOn.c_str()), done(Disk::same)},
    {"ReadAsGLibReadsIt", Place::file, kGLibs.c_str(), true, done(Disk::same),
     done(Disk::text, kGLibsOff.c_str())},
    {"GrowingPastTheLimit", Place::file, kNearTheLimit.c_str(), true, done(Disk::same),
     fails(Disk::same, ".desktop would grow past 65536 bytes, more than is read back: left as it")},
    {"ProgramNotUtf8", Place::none, nullptr, false,
     fails(Disk::absent, "the program's path \"/opt/caf?/q\" is not UTF-8"), done(Disk::absent),
     false, "/opt/caf\xE9/q"},
    {"ProgramWithALineFeed", Place::none, nullptr, false,
     fails(Disk::absent, "\"/opt/a?b\" holds a control character"), done(Disk::absent), false,
     "/opt/a\nb"},
};

// The kind of what is at path (0: nothing), and the bytes of a file or of a link's target.
using Found = std::pair<mode_t, std::string>;
Found found(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return {0, ""};
  const bool readable = S_ISREG(status.st_mode) || S_ISLNK(status.st_mode);
  return {status.st_mode & S_IFMT, readable ? readFile(path).value_or("") : ""};
}

class AutostartEntry : public testing::TestWithParam<Row> {};

// Each state of the entry: enabled() before and after each of setEnabled(true) and
// setEnabled(false), and what each leaves on disk.
TEST_P(AutostartEntry, IsReadAndChangedAsTheSessionAndTheUserExpect) {
  const Row& row = GetParam();
  if (row.place == Place::nobodys && !runningAsRoot()) GTEST_SKIP() << "only root gives folders";
  std::string why;
  const std::string ours = Autostart::entryFor(row.program, why).value_or("");
  for (const bool enable : {true, false}) {
    SCOPED_TRACE(enable ? "enabling" : "disabling");
    const Outcome& expected = enable ? row.enable : row.disable;
    TempDir dir;
    const fs::path config = dir.path() / "config", folder = config / "autostart";
    const fs::path entry = folder / kName, relative = entry.lexically_relative(dir.path());
    const std::string text = row.entry == kOurs ? ours : row.entry ? row.entry : "";
    if (row.place > Place::none) fs::create_directories(folder);
    if (row.place == Place::link) fs::create_symlink(dir.write("elsewhere", text), entry);
    ASSERT_TRUE(row.place != Place::fifo || ::mkfifo(entry.c_str(), 0644) == 0);
    if (row.place == Place::huge)
      dir.write(relative, "[Desktop Entry]\n#" + std::string(70000, ' '));
    if (row.place == Place::folderFile && fs::remove(folder)) dir.write("config/autostart", "");
    if (row.entry && row.place != Place::link) dir.write(relative, text);
    if (row.place == Place::nobodys) giveToNobody(folder);
    const fs::path changed = row.place == Place::folderFile ? folder : entry;
    const auto before = found(changed);
    const std::string validate = "desktop-file-validate '" + entry.string() + "' >/dev/null";
    const bool valid = before.first != S_IFREG || std::system(validate.c_str()) == 0;  // the user's
    std::unique_ptr<UnwritableFolder> readOnly;
    std::unique_ptr<FileSizeLimit> full;
    if (row.place == Place::readOnly)
      readOnly = std::make_unique<UnwritableFolder>(dir.path(), folder);
    if (row.place == Place::full) full = std::make_unique<FileSizeLimit>(16);

    Autostart autostart(row.place == Place::noConfig ? "" : config.string(), row.program);
    EXPECT_EQ(autostart.enabled(), row.enabled);
    std::string problem;
    EXPECT_EQ(autostart.setEnabled(enable, problem), expected.done) << problem;
    EXPECT_NE(problem.find(expected.done ? "" : expected.text), std::string::npos) << problem;
    EXPECT_EQ(problem.empty(), expected.done) << problem;
    EXPECT_EQ(autostart.enabled(), expected.done ? enable : row.enabled);
    const auto after = found(changed);
    const Found wanted = expected.disk == Disk::absent ? Found()
                         : expected.disk == Disk::same ? before
                         : expected.disk == Disk::ours ? Found(S_IFREG, ours)
                                                       : Found(S_IFREG, expected.text);
    EXPECT_EQ(after, wanted);
    if (expected.disk == Disk::ours) {
      EXPECT_NE(ours.find(row.exec), std::string::npos) << ours;
    }
    if (expected.disk == Disk::ours && row.place == Place::none) {
      EXPECT_EQ(fs::status(config).permissions(), fs::perms::owner_all);  // the user's alone
      EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    }
    // What this program writes is a desktop entry, as the desktop's own checker sees it.
    if (valid && after.first == S_IFREG && after != before &&
        std::system("desktop-file-validate --help >/dev/null") == 0) {
      EXPECT_EQ(std::system(validate.c_str()), 0);
    }
    if (row.undone && expected.disk == Disk::text) {
      EXPECT_TRUE(autostart.setEnabled(!enable, problem)) << problem;
      EXPECT_EQ(readFile(entry), text);
    }
    // Nothing half-written is left behind.
    std::error_code error;
    for (const auto& file : fs::directory_iterator(folder, error)) {
      EXPECT_EQ(file.path().filename(), kName);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(States, AutostartEntry, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

// GIO (as GNOME's session) launches the entry written for a program under any folder, '%' too.
TEST(AutostartEntryLaunch, StartsTheProgramWithGio) {
  if (std::system("gio help launch >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gio to launch with";
  for (const char* folder : {"plain", "100%", "%u a%=b", "Mes \"Apps\" $c `d` \\e %"}) {
    TempDir dir;
    const fs::path program = dir.path() / folder / "q", ran = dir.path() / "ran";
    dir.write(program.lexically_relative(dir.path()),
              "#!/bin/sh\nprintf %s \"$0\" >" + ran.string());
    fs::permissions(program, fs::perms(0755));
    Autostart autostart((dir.path() / "config").string(), program.string());
    std::string problem;
    ASSERT_TRUE(autostart.setEnabled(true, problem)) << problem;
    Child gio([&] { return execute({"gio", "launch", autostart.entryPath()}); });
    EXPECT_TRUE(exitedWithZero(gio.wait(std::chrono::seconds(20)))) << folder;
    for (int i = 0; i < 100 && readFile(ran) != program.string(); ++i) ::usleep(100000);
    EXPECT_EQ(readFile(ran), program.string());
  }
}

}  // namespace
