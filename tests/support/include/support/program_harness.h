// The built program from outside, as a user runs it: a copy of its bundle with an Info.plist of
// the test's own, a fake sysfs tree under SYSFS_PATH, its standard output and standard error read
// back, signals sent. The environment is the test's: no session bus unless the test gives one.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/fake_sysfs.h"
#include "support/info_plist.h"
#include "support/process.h"
#include "support/pseudo_terminal.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string kTitle = "47.8\u00b0C";
inline const std::string kNoSensorTitle = "0.0\u00b0C";
inline const std::string kNoSmc = "Error: no SMC found";

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    result.push_back(text.substr(start, end - start));
  }
  return result;
}

// One run of the program. Without a terminal its standard output and standard error are two
// pipes; with one, both are the same pseudo-terminal, as in a shell.
class Running {
 public:
  // Variables to set, or with nullopt to unset, over the test's own environment.
  using Environment = ::Environment;

  // On a terminal of columns columns (0: of no width the program can tell); there as a background
  // job with "stty tostop" when asBackgroundJob. beforeStart, when given, runs with the program's
  // process id before the program starts.
  Running(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& sysfs,
          bool onTerminal = false, const Environment& environment = {}, int columns = 0,
          const std::function<void(pid_t)>& beforeStart = nullptr, bool asBackgroundJob = false) {
    Pipe gate, job;
    if (onTerminal) {
      terminal_.emplace(columns);
    } else {
      out_.emplace();
      err_.emplace();
    }
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    started_ = Clock::now();
    child_.emplace([&] {
      dup2(terminal_ ? terminal_->slave() : out_->writeEnd(), 1);
      dup2(terminal_ ? terminal_->slave() : err_->writeEnd(), 2);
      ::signal(SIGPIPE, SIG_DFL);
      setenv("SYSFS_PATH", sysfs.c_str(), 1);
      // No session bus, and so the line on standard error, unless the test gives one.
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
      unsetenv("XDG_RUNTIME_DIR");
      applyEnvironment(environment);
      char go = 0;
      if (beforeStart && read(gate.readEnd(), &go, 1) != 1) return 126;
      if (asBackgroundJob) return runAsBackgroundJob(terminal_->slave(), argv, job.writeEnd());
      return execute(argv);
    });
    if (asBackgroundJob) {
      job.closeWrite();
      if (read(job.readEnd(), &jobPid_, sizeof jobPid_) != sizeof jobPid_) jobPid_ = -1;
    }
    if (beforeStart) {
      beforeStart(child_->pid());
      EXPECT_EQ(write(gate.writeEnd(), "x", 1), 1);
    }
    if (terminal_) {
      terminal_->closeSlave();
      reader_.add(terminal_->master(), out);
    } else {
      out_->closeWrite();
      err_->closeWrite();
      reader_.add(out_->readEnd(), out);
      reader_.add(err_->readEnd(), err);
    }
  }

  // Reads what the program writes until done() holds or the time is up; returns done().
  bool readUntil(const std::function<bool()>& done, Clock::duration timeout = 5s) {
    return reader_.readUntil(done, timeout);
  }

  // Waits until the program has written lines() titles.
  bool readTitles(std::size_t count, Clock::duration timeout = 5s) {
    return readUntil([&] { return lines(err).size() >= count; }, timeout);
  }

  void send(int number) {
    ASSERT_TRUE(jobPid_ > 0 ? kill(jobPid_, number) == 0 : child_->send(number))
        << strsignal(number);
  }

  // Waits for the program to exit without reading what it writes: a reader that stopped.
  std::optional<int> waitWithoutReading(Clock::duration timeout) { return child_->wait(timeout); }

  // Pipes as small as they get (a page), so that a reader that does not read fills them fast.
  void shrinkPipes() {
    for (const auto* pipe : {&out_, &err_}) {
      if (*pipe && (*pipe)->readEnd() >= 0) fcntl((*pipe)->readEnd(), F_SETPIPE_SZ, 4096);
    }
  }

  // Types on the program's terminal, as a user at its keyboard does.
  void type(std::string_view keys) {
    ASSERT_EQ(write(terminal_->master(), keys.data(), keys.size()),
              static_cast<ssize_t>(keys.size()));
  }

  // Changes the terminal's width and tells the program, as a terminal window does when resized.
  void resizeTerminal(int columns) {
    ASSERT_TRUE(terminal_->resize(columns));
    send(SIGWINCH);
  }
  pid_t pid() const { return jobPid_ > 0 ? jobPid_ : child_->pid(); }

  // The program's resident memory, in KiB (VmRSS in /proc/<pid>/status); -1 when unknown.
  long residentKib() const {
    std::ifstream status("/proc/" + std::to_string(pid()) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
  }

  // Reads to the end and waits for the program to exit; its wait status, or nullopt on timeout.
  std::optional<int> wait(Clock::duration timeout = 5s) {
    const auto end = Clock::now() + timeout;
    reader_.readToEnd(timeout);
    return child_->wait(std::max<Clock::duration>(end - Clock::now(), Clock::duration::zero()));
  }

  void closeStandardError() {
    reader_.remove(err_->readEnd());
    err_->closeRead();
  }

  Clock::duration sinceStart() const { return Clock::now() - started_; }

  std::string out;  // standard output, or everything on the terminal
  std::string err;  // standard error

 private:
  std::optional<PseudoTerminal> terminal_;
  std::optional<Pipe> out_;
  std::optional<Pipe> err_;
  std::optional<Child> child_;  // killed and reaped before the pipes close
  pid_t jobPid_ = -1;           // the program, when it runs as a background job of child_
  OutputReader reader_;
  Clock::time_point started_;
};

class Program : public testing::Test {
 protected:
  // One copy of the program for the suite; each test's bundle links to it, so that the
  // program's real path is inside that test's bundle.
  static void SetUpTestSuite() {
    copy_ = new TempDir();
    fs::copy_file(QUORVEL_PROGRAM, copy_->path() / "quorvel");
  }
  static void TearDownTestSuite() {
    delete copy_;
    copy_ = nullptr;
  }

  void SetUp() override {
    program_ = makeBundle("<real>0.2</real>");
    setSensor("47750\n");
  }

  // A bundle in this test's folder with an Info.plist whose interval holds intervalXml (nothing
  // for none); returns its program.
  fs::path makeBundle(const std::string& intervalXml, const std::string& name = "Quorvel.app") {
    const fs::path contents = dir_.path() / name / "Contents";
    dir_.write(contents / "Info.plist", infoPlist(intervalXml));
    fs::create_directories(contents / "MacOS");
    fs::path program = contents / "MacOS" / "quorvel";
    std::error_code error;
    fs::create_hard_link(copy_->path() / "quorvel", program, error);
    if (error) fs::copy_file(copy_->path() / "quorvel", program);
    return program;
  }

  void setSensor(const std::string& millidegrees) {
    sysfs_.addChip("hwmon0", "coretemp", 1, "Package id 0", millidegrees);
  }
  void removeSensor() { sysfs_.vanish("class/hwmon/hwmon0"); }

  // The program keeps what the user chooses under XDG_CONFIG_HOME: this test's folder (config/ in
  // dir_) unless the test names another, never the user's own.
  Running run(const std::vector<std::string>& arguments = {}, bool onTerminal = false,
              int columns = 0) {
    Running::Environment environment = environment_;
    environment.try_emplace("XDG_CONFIG_HOME", configHome().string());
    return {program_,    arguments, sysfs_.root(), onTerminal,
            environment, columns,   beforeStart_,  asBackgroundJob_};
  }
  fs::path configHome() const { return dir_.path() / "config"; }

  static inline TempDir* copy_ = nullptr;
  TempDir dir_;
  FakeSysfs sysfs_;
  fs::path program_;
  Running::Environment environment_;
  std::function<void(pid_t)> beforeStart_;
  bool asBackgroundJob_ = false;  // on a terminal, as a background job with "stty tostop"
};
