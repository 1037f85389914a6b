// A program the test starts, with variables of its own over the test's environment; it is asked
// to end (SIGTERM, then SIGKILL after 5 s) and reaped with the object.
#pragma once

#include <string>
#include <vector>

#include "support/process.h"

class ChildProcess {
 public:
  using Environment = ::Environment;

  // Runs argv[0] (found on PATH) with its standard output going to outputFd, or /dev/null when
  // it is -1; standard error goes to /dev/null. extraFd, when not -1, stays open in the child.
  ChildProcess(const std::vector<std::string>& argv, const Environment& environment = {},
               int outputFd = -1, int extraFd = -1);
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return child_.pid(); }
  void stop() { child_.stop(); }

 private:
  Child child_;
};
