// The built program from outside, as a user runs it: a copy of its bundle with an Info.plist of
// the test's own, a fake sysfs tree under SYSFS_PATH, its standard output and standard error read
// back, signals sent. The environment is the test's: no session bus unless the test gives one.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_sysfs.h"
#include "support/info_plist.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
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
  using Environment = std::map<std::string, std::optional<std::string>>;

  // On a terminal of columns columns (0: of no width the program can tell).
  Running(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& sysfs,
          bool onTerminal = false, const Environment& environment = {}, int columns = 0) {
    int out[2] = {-1, -1}, err[2] = {-1, -1}, terminal = -1, slave = -1;
    if (onTerminal) {
      winsize size{};
      size.ws_row = 24;
      size.ws_col = static_cast<unsigned short>(columns);
      EXPECT_EQ(openpty(&terminal, &slave, nullptr, nullptr, columns > 0 ? &size : nullptr), 0);
    } else {
      EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
      EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    }
    std::vector<std::string> texts{program.string()};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    const std::string sysfsPath = sysfs.string();

    started_ = Clock::now();
    pid_ = fork();
    if (pid_ == 0) {
      if (onTerminal) {
        dup2(slave, 1);
        dup2(slave, 2);
      } else {
        dup2(out[1], 1);
        dup2(err[1], 2);
      }
      ::signal(SIGPIPE, SIG_DFL);
      setenv("SYSFS_PATH", sysfsPath.c_str(), 1);
      // No session bus, and so the line on standard error, unless the test gives one.
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
      unsetenv("XDG_RUNTIME_DIR");
      for (const auto& [name, value] : environment) {
        if (value) {
          setenv(name.c_str(), value->c_str(), 1);
        } else {
          unsetenv(name.c_str());
        }
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (onTerminal) {
      close(slave);
      out_ = terminal;
    } else {
      close(out[1]);
      close(err[1]);
      out_ = out[0];
      err_ = err[0];
    }
  }

  ~Running() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }

  // Reads what the program writes until done() holds or the time is up; returns done().
  bool readUntil(const std::function<bool()>& done, Clock::duration timeout = 5s) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      if (left.count() <= 0) return false;
      if (!readSome(static_cast<int>(left.count()))) return done();  // nothing more can come
    }
    return true;
  }

  // Waits until the program has written lines() titles.
  bool readTitles(std::size_t count, Clock::duration timeout = 5s) {
    return readUntil([&] { return lines(err).size() >= count; }, timeout);
  }

  void send(int number) { ASSERT_EQ(kill(pid_, number), 0); }

  // Waits for the program to exit without reading what it writes: a reader that stopped.
  std::optional<int> waitWithoutReading(Clock::duration timeout) {
    const auto end = Clock::now() + timeout;
    while (!status_ && Clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
      if (!status_) usleep(10'000);
    }
    return status_;
  }

  // Pipes as small as they get (a page), so that a reader that does not read fills them fast.
  void shrinkPipes() {
    for (const int fd : {out_, err_}) {
      if (fd >= 0) fcntl(fd, F_SETPIPE_SZ, 4096);
    }
  }

  // Types on the program's terminal, as a user at its keyboard does.
  void type(std::string_view keys) {
    ASSERT_EQ(write(out_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Changes the terminal's width and tells the program, as a terminal window does when resized.
  void resizeTerminal(int columns) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    ASSERT_EQ(ioctl(out_, TIOCSWINSZ, &size), 0);
    send(SIGWINCH);
  }
  pid_t pid() const { return pid_; }

  // Reads to the end and waits for the program to exit; its wait status, or nullopt on timeout.
  std::optional<int> wait(Clock::duration timeout = 5s) {
    const auto end = Clock::now() + timeout;
    while (!status_ && Clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        break;
      }
      readSome(10);
    }
    while (status_ && readSome(0)) {
    }
    return status_;
  }

  void closeStandardError() {
    close(err_);
    err_ = -1;
  }

  Clock::duration sinceStart() const { return Clock::now() - started_; }

  std::string out;  // standard output, or everything on the terminal
  std::string err;  // standard error

 private:
  // Reads what is there within timeout milliseconds; false when nothing more can come.
  bool readSome(int timeout) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    const int ready = poll(fds, 2, timeout);
    if (ready <= 0) return ready == 0 && (out_ >= 0 || err_ >= 0);
    bool open = false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0) continue;
      if (fds[i].revents == 0) {
        open = true;
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
        open = true;
      }
    }
    return open;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::optional<int> status_;
  Clock::time_point started_;
};

inline bool exitedWithZero(const std::optional<int>& status) {
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

inline std::string describe(const std::optional<int>& status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exit status " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return std::string("killed by ") + strsignal(WTERMSIG(*status));
  return "stopped";
}

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
    const fs::path program = contents / "MacOS" / "quorvel";
    std::error_code error;
    fs::create_hard_link(copy_->path() / "quorvel", program, error);
    if (error) fs::copy_file(copy_->path() / "quorvel", program);
    return program;
  }

  void setSensor(const std::string& millidegrees) {
    sysfs_.addChip("hwmon0", "coretemp", 1, "Package id 0", millidegrees);
  }
  void removeSensor() { sysfs_.vanish("class/hwmon/hwmon0"); }

  Running run(const std::vector<std::string>& arguments = {}, bool onTerminal = false,
              int columns = 0) {
    return Running(program_, arguments, sysfs_.root(), onTerminal, environment_, columns);
  }

  static inline TempDir* copy_ = nullptr;
  TempDir dir_;
  FakeSysfs sysfs_;
  fs::path program_;
  Running::Environment environment_;
};
