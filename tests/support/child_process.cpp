#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                           int outputFd, int extraFd) {
  std::vector<char*> arguments;
  for (const auto& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  pid_ = fork();
  if (pid_ != 0) return;
  const int null = open("/dev/null", O_RDWR);
  dup2(outputFd >= 0 ? outputFd : null, 1);
  dup2(null, 2);
  if (extraFd >= 0) fcntl(extraFd, F_SETFD, 0);
  for (const auto& [name, value] : environment) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  execvp(arguments[0], arguments.data());
  _exit(127);
}

void ChildProcess::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string readLine(int fd) {
  std::string text;
  char buffer[256];
  ssize_t n;
  while (text.find('\n') == std::string::npos && (n = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text.substr(0, text.find('\n'));
}
