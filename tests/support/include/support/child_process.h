// A program the test starts, with variables of its own over the test's environment; it is killed
// and reaped with the object.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  using Environment = std::map<std::string, std::optional<std::string>>;  // nullopt: unset

  // Runs argv[0] (found on PATH) with its standard output going to outputFd, or /dev/null when
  // it is -1; standard error goes to /dev/null. extraFd, when not -1, stays open in the child.
  ChildProcess(const std::vector<std::string>& argv, const Environment& environment = {},
               int outputFd = -1, int extraFd = -1);
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  void stop();  // SIGTERM, then reaped

 private:
  pid_t pid_ = -1;
};

// The first line a file descriptor gives (without its newline), read until end of file.
std::string readLine(int fd);
