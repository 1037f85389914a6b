#include "support/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

int millisecondsUntil(Clock::time_point end) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 60'000));
}

}  // namespace

Pipe::Pipe() {
  if (pipe2(fds_, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("pipe: ") + strerror(errno));
}

Pipe::~Pipe() {
  closeRead();
  closeWrite();
}

void Pipe::closeRead() {
  if (fds_[0] >= 0) close(fds_[0]);
  fds_[0] = -1;
}

void Pipe::closeWrite() {
  if (fds_[1] >= 0) close(fds_[1]);
  fds_[1] = -1;
}

std::string drain(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  fcntl(fd, F_SETFL, flags);
  return text;
}

void OutputReader::add(int fd, std::string& text) {
  sources_.push_back({fd, &text});
}

void OutputReader::remove(int fd) {
  std::erase_if(sources_, [fd](const Source& source) { return source.fd == fd; });
}

bool OutputReader::ended() const {
  return std::all_of(sources_.begin(), sources_.end(),
                     [](const Source& source) { return source.ended; });
}

bool OutputReader::readUntil(const std::function<bool()>& done, Clock::duration timeout) {
  const auto end = Clock::now() + timeout;
  while (!done() && !ended() && Clock::now() < end) readSome(end);
  return done();
}

bool OutputReader::readToEnd(Clock::duration timeout) {
  readUntil([this] { return ended(); }, timeout);
  return ended();
}

void OutputReader::readSome(Clock::time_point end) {
  std::vector<pollfd> fds;
  for (const Source& source : sources_) fds.push_back({source.ended ? -1 : source.fd, POLLIN, 0});
  const int ready = poll(fds.data(), fds.size(), millisecondsUntil(end));
  if (ready < 0 && errno != EINTR)
    throw std::runtime_error(std::string("poll: ") + strerror(errno));
  for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      sources_[i].text->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      sources_[i].ended = true;  // its end; a terminal whose other side closed says EIO
    }
  }
}

std::string readLine(int fd, Clock::duration timeout) {
  std::string text;
  OutputReader reader;
  reader.add(fd, text);
  reader.readUntil([&] { return text.find('\n') != std::string::npos; }, timeout);
  return text.substr(0, text.find('\n'));
}

void applyEnvironment(const Environment& environment) {
  for (const auto& [name, value] : environment) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

Redirect::Redirect(int fd, int to) : fd_(fd), saved_(fcntl(fd, F_DUPFD_CLOEXEC, 0)) {
  std::fflush(nullptr);
  dup2(to, fd);
}

Redirect::~Redirect() {
  std::fflush(nullptr);
  dup2(saved_, fd_);
  close(saved_);
}

Arguments::Arguments(std::vector<std::string> texts) : texts_(std::move(texts)) {
  for (auto& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

int execute(const std::vector<std::string>& argv) {
  Arguments arguments(argv);
  execvp(arguments.data()[0], arguments.data());
  return 127;
}

Child::Child(const std::function<int()>& body) {
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + strerror(errno));
  if (pid_ == 0) {
    int code = 127;
    try {
      code = body();
    } catch (...) {
    }
    _exit(code);
  }
  pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

Child::~Child() {
  stop(SIGKILL);
  if (pidFd_ >= 0) close(pidFd_);
}

bool Child::send(int signal) const {
  return !status_ && kill(pid_, signal) == 0;
}

std::optional<int> Child::wait(Clock::duration timeout) {
  const auto end = Clock::now() + timeout;
  while (!status_) {
    int status = 0;
    const pid_t waited = waitpid(pid_, &status, WNOHANG);
    if (waited == pid_) {
      status_ = status;
    } else if ((waited < 0 && errno != EINTR) || Clock::now() >= end) {
      break;  // no child of ours to wait for, or no more time
    } else {
      // Where the kernel gives no pidfd, poll on nothing sleeps: a look every 10 ms.
      pollfd fd{pidFd_, POLLIN, 0};
      poll(&fd, 1, pidFd_ >= 0 ? millisecondsUntil(end) : std::min(millisecondsUntil(end), 10));
    }
  }
  return status_;
}

void Child::stop(int signal, Clock::duration grace) {
  if (pid_ <= 0 || status_) return;
  send(signal);
  if (!wait(grace)) {
    send(SIGKILL);
    wait(std::chrono::seconds(60));
  }
}

bool exitedWith(const std::optional<int>& status, int code) {
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

bool exitedWithZero(const std::optional<int>& status) {
  return exitedWith(status, 0);
}

std::string describe(const std::optional<int>& status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exit status " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return std::string("killed by ") + strsignal(WTERMSIG(*status));
  return "stopped";
}
