#include "appkit/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "support/read_file.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using appkit::Settings;

namespace {

// What is at the settings file's name at the start.
enum class Start : unsigned char { noConfigFolder, nothing, file, fifo, symlink };

struct Row {
  const char* name;
  Start start;
  std::string_view text;  // the file's (or, for a symbolic link, its target's)
  const char* sensor;     // the sensor read
  const char* problem;    // a part of the problem then; "" for none
  const char* store;      // the sensor stored then
  const char* stored;     // the file then; nullptr: storing fails and changes nothing
  const char* storeProblem = "";
  bool twoWriters = false;  // another process stores kOther at the same time, many times
};

// Longer than any other name stored, so that a file torn between two writers is no key file.
constexpr char kOther[] = "the other writer's sensor, by a much longer name";

const std::string kTooLarge = std::string(9000, '#') + "\n[Quorvel]\nSensor=x\n";

const Row kRows[] = {
    {"Absent", Start::nothing, "", "", "", "coretemp Package id 0",
     "[Quorvel]\nSensor=coretemp Package id 0\n"},
    {"Valid", Start::file, "# chosen in the menu\n[Quorvel]\nSensor=k10temp Tctl\nOther=kept\n",
     "k10temp Tctl", "", "nct6775 CPUTIN",
     "# chosen in the menu\n[Quorvel]\nSensor=nct6775 CPUTIN\nOther=kept\n"},
    {"Escaped", Start::file, "[Quorvel]\nSensor=\\sa\\\\b\n", " a\\b", "", "back\\slash ",
     "[Quorvel]\nSensor=back\\\\slash\\s\n"},
    {"Automatic", Start::file, "[Quorvel]\nSensor=\n[Other]\nK=v\n", "", "", "",
     "[Quorvel]\n[Other]\nK=v\n"},
    {"AutomaticWithoutAFile", Start::nothing, "", "", "", "", nullptr},
    {"Malformed", Start::file, "Sensor=x\n", "",
     "quorvel.conf is not a settings file (line 1: an entry before the first group)", "y",
     "[Quorvel]\nSensor=y\n"},
    {"NotAName", Start::file, "[Quorvel]\nSensor=a\\nb\n", "",
     "quorvel.conf: the sensor name \"a?b\" is not printable ASCII", "y", "[Quorvel]\nSensor=y\n"},
    {"TooLarge", Start::file, kTooLarge, "", "quorvel.conf is larger than 8192 bytes", "y",
     "[Quorvel]\nSensor=y\n"},
    {"Fifo", Start::fifo, "", "", "quorvel.conf is not a regular file", "y",
     "[Quorvel]\nSensor=y\n"},
    {"Symlink", Start::symlink, "[Quorvel]\nSensor=x\n", "", "quorvel.conf is a symbolic link", "y",
     "[Quorvel]\nSensor=y\n"},
    {"StoringANameNotAscii", Start::file, "[Quorvel]\nSensor=x\n", "x", "", "caf\xC3\xA9", nullptr,
     "the sensor name \"caf??\" is not printable ASCII"},
    {"NoConfigFolder", Start::noConfigFolder, "", "", "", "x", nullptr,
     "the configuration folder is unknown"},
    {"TwoWriters", Start::nothing, "", "", "", "m", "[Quorvel]\nSensor=m\n", "", true},
};

// Stores name count times: whether each store succeeded and read back as a name stored.
bool storeOften(Settings& settings, const char* name, const char* other, int count) {
  for (int i = 0; i < count; ++i) {
    std::string problem;
    if (!settings.storeSensor(name, problem)) return false;
    const std::string read = settings.sensor(problem);
    if (!problem.empty() || (read != name && read != other)) return false;
  }
  return true;
}

// Each state of the settings file: what is read from it, and what storing a sensor leaves.
TEST(SettingsFile, IsReadWithinLimitsAndStoredWhole) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const fs::path config = dir.path() / "config";
    const fs::path file = config / "quorvel/quorvel.conf";
    const fs::path elsewhere = dir.path() / "elsewhere.conf";
    if (row.start == Start::file) dir.write("config/quorvel/quorvel.conf", row.text);
    if (row.start == Start::fifo) {
      fs::create_directories(file.parent_path());
      ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    }
    if (row.start == Start::symlink) {
      fs::create_directories(file.parent_path());
      fs::create_symlink(dir.write("elsewhere.conf", row.text), file);
    }
    Settings settings(row.start == Start::noConfigFolder ? "" : config.string());
    EXPECT_EQ(settings.path(), row.start == Start::noConfigFolder ? "" : file.string());

    std::string problem;
    EXPECT_EQ(settings.sensor(problem), row.sensor);
    if (*row.problem == '\0') {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_NE(problem.find(row.problem), std::string::npos) << problem;
    }
    const auto before = fs::symlink_status(file).type();

    problem.clear();
    if (row.twoWriters) {
      const pid_t other = ::fork();
      ASSERT_GE(other, 0);
      if (other == 0) ::_exit(storeOften(settings, kOther, row.store, 1000) ? 0 : 1);
      EXPECT_TRUE(storeOften(settings, row.store, kOther, 1000));
      int status = 0;
      ASSERT_EQ(::waitpid(other, &status, 0), other);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      // The last writer won, whichever it was; neither tore the file.
      const auto text = readFile(file).value_or("");
      EXPECT_TRUE(text == row.stored || text == "[Quorvel]\nSensor=" + std::string(kOther) + "\n")
          << text;
    } else if (row.stored) {
      EXPECT_TRUE(settings.storeSensor(row.store, problem)) << problem;
      EXPECT_EQ(problem, "");
      EXPECT_EQ(fs::symlink_status(file).type(), fs::file_type::regular);
      EXPECT_EQ(readFile(file), row.stored);
      EXPECT_EQ(settings.sensor(problem), row.store);
      EXPECT_EQ(problem, "");
    } else {
      const bool stored = settings.storeSensor(row.store, problem);
      EXPECT_EQ(stored, *row.storeProblem == '\0') << problem;
      EXPECT_NE(problem.find(row.storeProblem), std::string::npos) << problem;
      EXPECT_EQ(fs::symlink_status(file).type(), before);
      if (row.start == Start::file) {
        EXPECT_EQ(readFile(file), row.text);
      }
    }
    // A symbolic link is replaced, never written through.
    if (row.start == Start::symlink) {
      EXPECT_EQ(readFile(elsewhere), row.text);
    }
    // The folder made for the file is the user's alone, and holds nothing half-written.
    if (row.start == Start::nothing && row.stored) {
      EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms(0700));
    }
    std::error_code error;
    if (fs::is_directory(file.parent_path(), error)) {
      for (const auto& entry : fs::directory_iterator(file.parent_path())) {
        EXPECT_EQ(entry.path().filename(), "quorvel.conf");
      }
    }
  }
}

}  // namespace
