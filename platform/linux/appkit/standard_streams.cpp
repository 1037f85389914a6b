#include "standard_streams.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace appkit {

namespace {

// Gives fd an open file description of the program's own, in non-blocking mode, when it is a
// pipe or a character device (a terminal). When that cannot be done (a pipe without a reader, a
// terminal the program may not open), fd stays as it is.
void reopenWithoutWaiting(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode))) return;
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_NONBLOCK)) return;  // it never waits already
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const int own =
      open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (flags & O_APPEND));
  if (own < 0) return;
  dup2(own, fd);  // the copy under fd is inheritable again, as fd was
  close(own);
}

// Standard output's writes when it is a socket: what the socket does not take now is dropped.
ssize_t sendStandardOutput(void* /*cookie*/, const char* data, size_t size) {
  const ssize_t sent = writeWithoutWaiting(STDOUT_FILENO, true, data, size);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return static_cast<ssize_t>(size);
  return sent;
}

}  // namespace

bool isSocket(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode);
}

void keepStandardStreamsFromWaiting() {
  reopenWithoutWaiting(STDOUT_FILENO);
  reopenWithoutWaiting(STDERR_FILENO);
  if (isSocket(STDOUT_FILENO)) {
    // stdio is line-buffered here as on a terminal: each error line is sent as it is printed.
    if (FILE* const out =
            fopencookie(nullptr, "w", {nullptr, sendStandardOutput, nullptr, nullptr})) {
      setvbuf(out, nullptr, _IOLBF, BUFSIZ);
      stdout = out;
    }
  }
}

ssize_t writeWithoutWaiting(int fd, bool socket, const void* data, std::size_t size) {
  if (socket) return send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  return write(fd, data, size);
}

}  // namespace appkit
