#include "xdg/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "support/read_file.h"
#include "support/refusing_folders.h"
#include "support/temp_dir.h"
#include "xdg/user_files.h"

namespace fs = std::filesystem;
using xdg::Settings;

namespace {

enum class Start : unsigned char { noConfig, none, file, fifo, link };  // at the file's name
struct Row {
  const char* name;
  Start start;
  std::string text;     // the file's (a link's target's)
  const char* sensor;   // the sensor read
  const char* problem;  // a part of the problem then ("": none)
  const char* store;    // the sensor stored then
  const char* stored;   // the file then; nullptr: nothing changes, and problem has storeProblem
  const char* storeProblem = "";
};
// Longer than any other name stored, so that a file torn between two writers is no key file.
constexpr char kOther[] = "the other writer's sensor, by a much longer name";
const std::string kFull = "[Quorvel]\nSensor=ab\n#" + std::string(8170, ' ') + "\n";
const std::string kAlmostFull = std::string(kFull).erase(18, 1);

const Row kRows[] = {
    {"Absent", Start::none, "", "", "", "coretemp Package id 0",
     "[Quorvel]\nSensor=coretemp Package id 0\n"},
    {"Valid", Start::file, "# mine\n[Quorvel]\nSensor=k10temp Tctl\nOther=kept\n", "k10temp Tctl",
     "", "nct6775 CPUTIN", "# mine\n[Quorvel]\nSensor=nct6775 CPUTIN\nOther=kept\n"},
    {"Escaped", Start::file, "[Quorvel]\nSensor=\\sa\\\\b\n", " a\\b", "", "c\\d ",
     "[Quorvel]\nSensor=c\\\\d\\s\n"},
    {"Automatic", Start::file, "[Quorvel]\nSensor=\n[X]\nK=v\n", "", "", "",
     "[Quorvel]\n[X]\nK=v\n"},
    {"AutomaticWithoutAFile", Start::none, "", "", "", "", nullptr},
    {"Malformed", Start::file, "Sensor=x\n", "",
     "quorvel.conf is not a settings file (line 1: an entry before the first group)", "y", nullptr,
     "quorvel.conf is not a settings file (line 1: an entry before the first group): left as it"},
    {"AsGLibReadsIt", Start::file, "\xEF\xBB\xBF# mine\r\n[Quorvel]\r\nSensor=a\r\nSensor=b\r\n",
     "b", "", "c", "\xEF\xBB\xBF# mine\r\n[Quorvel]\r\nSensor=a\r\nSensor=c\r\n"},
    {"UpToTheLimit", Start::file, kAlmostFull, "a", "", "ab", kFull.c_str()},
    {"PastTheLimit", Start::file, kAlmostFull, "a", "", "abc", nullptr,
     "quorvel.conf would grow past 8192 bytes, more than is read back: left as it is"},
    {"NotAName", Start::file, "[Quorvel]\nSensor=a\\nb\n", "",
     "quorvel.conf: the sensor name \"a?b\" is not printable ASCII", "y", "[Quorvel]\nSensor=y\n"},
    {"TooLarge", Start::file, "[Quorvel]\n#" + std::string(9000, ' '), "",
     "quorvel.conf is larger than 8192 bytes", "y", nullptr,
     ".conf is larger than 8192 bytes: left"},
    {"Fifo", Start::fifo, "", "", "quorvel.conf is not a regular file", "y", nullptr,
     "quorvel.conf is not a regular file: left as it is"},
    {"Symlink", Start::link, "[Quorvel]\nSensor=x\n", "", "quorvel.conf is a symbolic link", "y",
     nullptr, "quorvel.conf is a symbolic link: left as it is"},
    {"StoringANameNotAscii", Start::file, "[Quorvel]\nSensor=x\n", "x", "", "caf\xC3\xA9", nullptr,
     "the sensor name \"caf??\" is not printable ASCII"},
    {"NoConfigFolder", Start::noConfig, "", "", "", "x", nullptr,
     "the configuration folder is unknown"},
    {"TwoWriters", Start::none, "", "", "", "m", "[Quorvel]\nSensor=m\n"},
};

// Stores name again and again for a while, reading it back each time: whether each store
// succeeded and read back as name, or as the other writer's.
bool storeOften(Settings& settings, const char* name, const char* other) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
  for (std::string problem, read; std::chrono::steady_clock::now() < end;) {
    if (!settings.storeSensor(name, problem)) return false;
    read = settings.sensor(problem);
    if (!problem.empty() || (read != name && read != other)) return false;
  }
  return true;
}

// Each state of the settings file: what is read from it, and what storing a sensor leaves.
TEST(SettingsFile, IsReadWithinLimitsAndStoredWhole) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const fs::path config = dir.path() / "config", file = config / "quorvel/quorvel.conf";
    if (row.start > Start::none) fs::create_directories(file.parent_path());
    if (row.start == Start::file) dir.write("config/quorvel/quorvel.conf", row.text);
    if (row.start == Start::link) fs::create_symlink(dir.write("elsewhere", row.text), file);
    ASSERT_TRUE(row.start != Start::fifo || ::mkfifo(file.c_str(), 0600) == 0);
    Settings settings(row.start == Start::noConfig ? "" : config.string());
    EXPECT_EQ(settings.path(), row.start == Start::noConfig ? "" : file.string());
    std::string problem;
    EXPECT_EQ(settings.sensor(problem), row.sensor);
    EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
    EXPECT_EQ(problem.empty(), *row.problem == '\0') << problem;
    const auto before = fs::symlink_status(file).type();

    problem.clear();
    if (row.name == std::string("TwoWriters")) {
      const pid_t other = ::fork();
      if (other == 0) ::_exit(storeOften(settings, kOther, row.store) ? 0 : 1);
      EXPECT_TRUE(storeOften(settings, row.store, kOther));
      int status = 1;
      EXPECT_TRUE(other > 0 && ::waitpid(other, &status, 0) == other && status == 0) << status;
      // The last writer won, whichever it was, and neither tore the file.
      const auto text = readFile(file).value_or("");
      EXPECT_TRUE(text == row.stored || text == "[Quorvel]\nSensor=" + std::string(kOther) + "\n");
    } else if (row.stored) {
      EXPECT_TRUE(settings.storeSensor(row.store, problem)) << problem;
      EXPECT_EQ(fs::symlink_status(file).type(), fs::file_type::regular);  // a link replaced
      EXPECT_EQ(readFile(file), row.stored);
      EXPECT_EQ(settings.sensor(problem), row.store);
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_EQ(settings.storeSensor(row.store, problem), *row.storeProblem == '\0') << problem;
      EXPECT_NE(problem.find(row.storeProblem), std::string::npos) << problem;
      EXPECT_EQ(fs::symlink_status(file).type(), before);
      if (row.start != Start::fifo) {
        EXPECT_EQ(readFile(file).value_or(""), row.text);
      }
    }
    EXPECT_EQ(readFile(dir.path() / "elsewhere").value_or(""),
              row.start == Start::link ? row.text : "");
    if (row.start == Start::none && row.stored) {  // the folder made is the user's alone
      EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms::owner_all);
    }
    std::error_code error;  // and holds nothing half-written
    for (const auto& entry : fs::directory_iterator(file.parent_path(), error)) {
      EXPECT_EQ(entry.path().filename(), "quorvel.conf");
    }
  }
  // The configuration folder: XDG_CONFIG_HOME when it is absolute, else HOME's .config.
  EXPECT_EQ(xdg::userConfigFolder("/x/conf/", "/home/u"), "/x/conf");
  EXPECT_EQ(xdg::userConfigFolder("conf", "/home/u/"), "/home/u/.config");
  EXPECT_EQ(xdg::userConfigFolder(nullptr, "/"), "/.config");
  EXPECT_EQ(xdg::userConfigFolder("", "home"), "");
  EXPECT_EQ(xdg::userConfigFolder(nullptr, nullptr), "");
}

// A file replaced keeps its permissions, and its owner's reading and writing (root reads any).
TEST(SettingsFile, KeepsThePermissionsButTheOwnersReadAndWrite) {
  for (const auto& [before, after] :
       {std::pair(0000, 0600), {0200, 0600}, {0444, 0644}, {0640, 0640}, {04755, 0755}}) {
    TempDir dir;
    const fs::path file = dir.write("config/quorvel/quorvel.conf", "[Quorvel]\nSensor=a\n");
    fs::permissions(file, fs::perms(before));
    std::string problem;
    const bool readable = runningAsRoot() || (before & 0400) != 0;
    EXPECT_EQ(Settings((dir.path() / "config").string()).storeSensor("b", problem), readable)
        << problem;
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(readable ? after : before)) << before;
  }
}

// What a killed writer left (".<name>.XXXXXX") goes at the next write; nothing else does: other
// names, a link, a folder, another user's file, the temporary file another writer holds.
TEST(SettingsFile, TemporaryFilesLeftBehindGoAtTheNextWrite) {
  TempDir dir;
  const fs::path folder = dir.write("config/quorvel/.quorvel.conf.AbC123", "").parent_path();
  for (const char* kept : {"AbC12", "AbC-12", "AbC1234"})
    dir.write(folder / ".quorvel.conf." += kept, "");
  for (const char* kept : {".other.conf.AbC123", "quorvel.conf.AbC123"})
    dir.write(folder / kept, "");
  fs::permissions(dir.write("config/quorvel/.quorvel.conf.Mode00", ""), fs::perms::none);
  fs::create_symlink(dir.write("elsewhere", "kept"), folder / ".quorvel.conf.Link12");
  fs::create_directory(folder / ".quorvel.conf.Fold12");
  if (runningAsRoot()) giveToNobody(dir.write("config/quorvel/.quorvel.conf.Nobody", ""));
  const int held = ::open(dir.write("config/quorvel/.quorvel.conf.Held12", "").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  std::string problem;
  EXPECT_TRUE(Settings((dir.path() / "config").string()).storeSensor("x", problem)) << problem;
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder)) left.insert(entry.path().filename());
  EXPECT_EQ(left.count(".quorvel.conf.AbC123") + left.count(".quorvel.conf.Mode00"), 0U);
  EXPECT_EQ(left.size(), runningAsRoot() ? 10U : 9U);
  EXPECT_EQ(readFile(dir.path() / "elsewhere"), "kept");
  ::close(held);
}

// The user's preferences as the file holds them: each value of its form and range taken, any
// other ignored with one notice that names it; a choice written as one key, the user's lines kept.
TEST(SettingsFile, PreferencesAreTakenWithinTheirRangesAndStoredAsOneKey) {
  using preferences::Preferences;
  using preferences::Unit;
  using Kind = preferences::WarnAt::Kind;
  struct PreferencesRow {
    const char* keys;     // under [Quorvel], between the user's own lines
    Preferences read;     // what is taken
    const char* notices;  // the keys ignored, each once
    Preferences chosen;   // then stored
    const char* stored;   // the keys then; nullptr: as they were
  };
  const Preferences celsius;
  const Preferences custom{Unit::fahrenheit, {Kind::fixed, 85.5}, true, 2.5};
  const PreferencesRow rows[] = {
      {"", celsius, "", {Unit::fahrenheit, {}, false, std::nullopt}, "Unit=F\n"},
      {"Unit=F\nWarnAt=85.5\nNotify=1\nInterval=2.5\n", custom, "", custom, nullptr},
      {"WarnAt=Off\nInterval=3600\n",
       {Unit::celsius, {Kind::off, 0}, false, 3600.0},
       "",
       {Unit::celsius, {Kind::fixed, 100}, false, 3600.0},
       "WarnAt=100\nInterval=3600\n"},
      {"Unit=F\nWarnAt=Off\nNotify=true\nInterval=5\n",
       {Unit::fahrenheit, {Kind::off, 0}, true, 5.0},
       "",
       celsius,
       ""},
      {"Unit=K\nInterval=0\nWarnAt=abc\nNotify=maybe\n",
       celsius,
       "Unit WarnAt Interval Notify",
       {Unit::celsius, {Kind::fixed, 70}, false, 1.0},
       "Unit=K\nInterval=1\nWarnAt=70\nNotify=maybe\n"},
      {"Interval=-5\nWarnAt=1e308\nUnit=f\n", celsius, "Unit WarnAt Interval", celsius, nullptr},
      {"Interval=1e9\nWarnAt=19.9\nUnit=\xff\xfe\n", celsius, "Unit WarnAt Interval", celsius,
       nullptr},
      {"Interval=nan\nWarnAt=inf\nInterval=0x10\n", celsius, "WarnAt Interval", celsius, nullptr},
      {"Interval=+2\nWarnAt=150.1\n", celsius, "WarnAt Interval", celsius, nullptr},
      {"Interval=0.5\nWarnAt=20\n",
       {Unit::celsius, {Kind::fixed, 20}, false, 0.5},
       "",
       celsius,
       ""},
  };
  const std::string before = "# mine\n[Other]\nK=v\n[Quorvel]\nSensor=x\n", after = "[Last]\nL=1\n";
  for (const PreferencesRow& row : rows) {
    SCOPED_TRACE(row.keys);
    TempDir dir;
    dir.write("config/quorvel/quorvel.conf", before + row.keys + after);
    Settings settings((dir.path() / "config").string());
    std::vector<std::string> notices;
    const Preferences read = settings.chosen(notices).preferences;
    EXPECT_EQ(read, row.read);
    std::string said;
    for (const std::string& notice : notices) {
      said += (said.empty() ? "" : " ") + notice.substr(0, notice.find('='));
      EXPECT_NE(notice.find("ignored, the default is used"), std::string::npos) << notice;
    }
    EXPECT_EQ(said, row.notices);
    // Only what the choice changed is written; the values the user wrote that were ignored stay.
    std::string problem;
    ASSERT_TRUE(settings.storePreferences(read, row.chosen, problem)) << problem;
    EXPECT_EQ(readFile(dir.path() / "config/quorvel/quorvel.conf"),
              before + (row.stored ? row.stored : row.keys) + after);
    notices.clear();
    if (row.stored) {
      EXPECT_EQ(settings.chosen(notices).preferences, row.chosen);
    }
  }
}

}  // namespace
