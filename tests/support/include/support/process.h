// Child processes of a test and what they write: pipes, reading with a time limit, and waiting
// with a time limit. A child still running when its object goes is killed and reaped, so a test
// that fails half way leaves nothing behind and never waits for ever.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

// A pipe whose ends close on exec and with the object.
class Pipe {
 public:
  Pipe();
  ~Pipe();
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int readEnd() const { return fds_[0]; }
  int writeEnd() const { return fds_[1]; }
  void closeRead();
  void closeWrite();

 private:
  int fds_[2] = {-1, -1};
};

// Everything waiting to be read from fd now, without blocking.
std::string drain(int fd);

// Reads descriptors as they are written to, each into a text of the caller's, with a time limit.
// The descriptors stay the caller's: remove one before closing it.
class OutputReader {
 public:
  void add(int fd, std::string& text);
  void remove(int fd);

  // Reads until done() holds, every descriptor is at its end, or the time is up; done().
  bool readUntil(const std::function<bool()>& done, Clock::duration timeout);
  // Reads until every descriptor is at its end or the time is up; whether they all are.
  bool readToEnd(Clock::duration timeout);

 private:
  struct Source {
    int fd;
    std::string* text;
    bool ended = false;
  };
  bool ended() const;
  // Waits until end at the most for something to read, and reads it.
  void readSome(Clock::time_point end);

  std::vector<Source> sources_;
};

// The first line fd gives (without its newline), read until a newline, its end or the time is up.
std::string readLine(int fd, Clock::duration timeout = std::chrono::seconds(20));

// Variables to set, or with nullopt to unset, over the environment a child inherits.
using Environment = std::map<std::string, std::optional<std::string>>;
void applyEnvironment(const Environment& environment);

// One of this process's descriptors (standard output, standard error) pointed at another for as
// long as the object lives, then put back; stdio's buffers are written out on both changes, so
// what was printed before or after goes where it was meant to.
class Redirect {
 public:
  Redirect(int fd, int to);
  ~Redirect();
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

 private:
  int fd_;
  int saved_;
};

// A command line as exec and main take it.
class Arguments {
 public:
  explicit Arguments(std::vector<std::string> texts);
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;

  int count() const { return static_cast<int>(texts_.size()); }
  char** data() { return pointers_.data(); }  // null at the end

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

// Replaces this process with argv[0] (a path, or a name looked up on PATH); returns 127 if it
// cannot, for the child to exit with.
int execute(const std::vector<std::string>& argv);

// A child process running body (in a copy of the test at the fork), which exits with what body
// returns. The test's atexit handlers and buffered output are not the child's to run.
class Child {
 public:
  explicit Child(const std::function<int()>& body);
  ~Child();  // killed and reaped if it still runs
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool send(int signal) const;

  // Waits at most timeout for the child to end; its wait status, or nullopt while it runs.
  std::optional<int> wait(Clock::duration timeout);
  // Sends signal and waits up to grace for the end; kills it after that. It is reaped.
  void stop(int signal = SIGTERM, Clock::duration grace = std::chrono::seconds(5));

 private:
  pid_t pid_ = -1;
  int pidFd_ = -1;  // readable once the child has ended (-1 where the kernel has none)
  std::optional<int> status_;
};

// A wait status: exited with code, or with 0; and described for a test's message.
bool exitedWith(const std::optional<int>& status, int code);
bool exitedWithZero(const std::optional<int>& status);
std::string describe(const std::optional<int>& status);
