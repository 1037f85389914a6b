#include "appkit/standard_streams.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>

#include "text/ascii.h"

namespace appkit {

namespace {

// How long a write to a reader the program cannot avoid waiting on may take before it is dropped.
constexpr std::chrono::milliseconds kWriteLimit{100};

void interruptWrite(int /*signal*/) {}

// Whether a write to a file of that status could wait on a reader: a pipe, a terminal (a
// character device) or a socket; files never do.
bool couldWait(const struct stat& status) {
  return S_ISSOCK(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode);
}

bool couldWait(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 && couldWait(status);
}

}  // namespace

// Gives fd an open file description of the program's own, in non-blocking mode, when it is a
// pipe or a character device (a terminal); says how it is to be written.
StandardStreams::Way StandardStreams::makeOwnWithoutWaiting(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !couldWait(status)) return Way::asOpened;
  if (S_ISSOCK(status.st_mode)) return Way::send;
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return Way::asOpened;
  if (flags & O_NONBLOCK) return Way::asOpened;  // it never waits already
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const int own =
      open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (flags & O_APPEND));
  if (own < 0) return Way::withinATimeLimit;  // another user's pipe or terminal, or no /proc
  dup2(own, fd);                              // the copy under fd is inheritable again, as fd was
  close(own);
  return Way::asOpened;
}

// Standard output's writes through stdio, when it needs a way of its own: what the reader does
// not take now is dropped, as a whole line.
ssize_t StandardStreams::writeStandardOutput(void* streams, const char* data, size_t size) {
  const ssize_t written =
      static_cast<const StandardStreams*>(streams)->write(STDOUT_FILENO, data, size);
  if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return static_cast<ssize_t>(size);
  return written;
}

StandardStreams::~StandardStreams() {
  if (!stdioOutput_) return;
  FILE* const ours = stdout;
  std::fflush(ours);
  stdout = stdioOutput_;
  std::fclose(ours);
}

void StandardStreams::keepFromWaiting() {
  // A write to the terminal from a background job, with "stty tostop", would stop the whole
  // program (SIGTTOU), and a stopped program cannot take the signal that ends it. The signal
  // interrupts that write instead, which then fails and is dropped like any other the reader does
  // not take; the kernel raises it only in that case, so it costs nothing otherwise.
  interruptWritesOn(SIGTTOU);
  const bool outputCouldWait = couldWait(STDOUT_FILENO);
  ways_[STDOUT_FILENO] = makeOwnWithoutWaiting(STDOUT_FILENO);
  ways_[STDERR_FILENO] = makeOwnWithoutWaiting(STDERR_FILENO);
  if (ways_[STDOUT_FILENO] == Way::withinATimeLimit ||
      ways_[STDERR_FILENO] == Way::withinATimeLimit) {
    alarmInterrupts_ = letTheAlarmInterruptWrites();
  }
  // Standard output goes through this writer too wherever it could wait, so that a line the
  // reader does not take is dropped whole rather than kept in stdio's buffer for later.
  if (outputCouldWait && !stdioOutput_) {
    // Line-buffered, as on a terminal: each error line is written as it is printed.
    if (FILE* const out =
            fopencookie(this, "w", {nullptr, writeStandardOutput, nullptr, nullptr})) {
      setvbuf(out, nullptr, _IOLBF, BUFSIZ);
      std::fflush(stdout);
      stdioOutput_ = stdout;
      stdout = out;
    }
  }
}

ssize_t StandardStreams::write(int fd, const void* data, std::size_t size) const {
  const Way way = fd >= 0 && fd < 3 ? ways_[static_cast<std::size_t>(fd)] : Way::asOpened;
  ssize_t written = -1;
  switch (way) {
    case Way::send:
      written = send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
      break;
    case Way::withinATimeLimit:
      if (!alarmInterrupts_) {
        errno = EAGAIN;  // a write that could wait for ever is not made
        return -1;
      }
      return writeWithinATimeLimit(fd, data, size, kWriteLimit);
    case Way::asOpened:
      written = ::write(fd, data, size);
      break;
  }
  // Interrupted: a terminal the program may not write to now (a background job's, SIGTTOU). The
  // reader does not take this write, as when it is behind; trying again would only be refused
  // again.
  if (written < 0 && errno == EINTR) errno = EAGAIN;
  return written;
}

std::string StandardStreams::noticeLine(std::string_view text) {
  std::string line = "quorvel: ";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // The C0 controls and DEL, and the C1 controls as UTF-8 writes them (0xc2 0x80 to 0x9f),
    // which some terminals act on too.
    const bool c1 = byte == 0xc2 && i + 1 < text.size() &&
                    (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80;
    if (c1) ++i;
    line.push_back(text::isControl(text[i]) || c1 ? '?' : text[i]);
  }
  return line;
}

void StandardStreams::notice(std::string_view text) const {
  notice(text, {});
}

void StandardStreams::notice(std::string_view text, std::string_view nextLine) const {
  std::string line = noticeLine(text);
  line.push_back('\n');
  if (!nextLine.empty()) line.append(nextLine).push_back('\n');
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t written = write(STDERR_FILENO, rest.data(), rest.size());
    if (written <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool interruptWritesOn(int signal) {
  // Without SA_RESTART, the signal ends a write that waits; the handler itself does nothing.
  struct sigaction action {};
  action.sa_handler = interruptWrite;
  sigemptyset(&action.sa_mask);
  return sigaction(signal, &action, nullptr) == 0;
}

bool letTheAlarmInterruptWrites() {
  return interruptWritesOn(SIGALRM);
}

ssize_t writeWithinATimeLimit(int fd, const void* data, std::size_t size,
                              std::chrono::microseconds limit) {
  itimerval timer{};
  timer.it_value.tv_sec = static_cast<time_t>(limit.count() / 1000000);
  timer.it_value.tv_usec = static_cast<suseconds_t>(limit.count() % 1000000);
  setitimer(ITIMER_REAL, &timer, nullptr);
  const ssize_t written = write(fd, data, size);
  const int error = errno;
  timer = {};
  setitimer(ITIMER_REAL, &timer, nullptr);
  errno = written < 0 && error == EINTR ? EAGAIN : error;
  return written;
}

}  // namespace appkit
