// Standard output and standard error without ever waiting on their readers: a status bar or a
// log that stops reading loses lines, and the program goes on refreshing and ends when told.
#pragma once

#include <stdio.h>
#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace appkit {

class StandardStreams {
 public:
  StandardStreams() = default;
  // Gives standard output its stdio stream back, if keepFromWaiting replaced it.
  ~StandardStreams();
  StandardStreams(const StandardStreams&) = delete;
  StandardStreams& operator=(const StandardStreams&) = delete;

  // Where a write to standard output or standard error could wait (a pipe, a terminal, a socket),
  // makes it one that never does, or not for long. The descriptions the program inherited are
  // shared with other processes (the shell's terminal) and keep their mode:
  //   - pipes and terminals are opened anew through /proc/self/fd, in non-blocking mode, under the
  //     same descriptor numbers;
  //   - a socket is sent to with MSG_DONTWAIT;
  //   - a pipe or terminal that cannot be opened anew (another user's, or no /proc) is written
  //     with a time limit (writeWithinATimeLimit);
  //   - files are left as they are.
  // Standard output, which stdio writes, goes through a stream of ours unless it is a file. A
  // write to a terminal that the program may not write to now (a background job's, with "stty
  // tostop") fails instead of stopping the program.
  void keepFromWaiting();

  // Writes what fd takes now, in the way keepFromWaiting chose for it (a descriptor other than
  // standard output and standard error, or before keepFromWaiting, is written as it is opened):
  // the bytes written, or -1 with errno (EAGAIN: the reader is behind, or the terminal is not the
  // program's to write to now; never EINTR).
  ssize_t write(int fd, const void* data, std::size_t size) const;

  // Writes noticeLine(text) and a newline on standard error, as far as the reader takes them now:
  // the program's notices, never waited on.
  void notice(std::string_view text) const;
  // The same, followed by a line of the program's own, as it is (such as where to read more).
  void notice(std::string_view text, std::string_view nextLine) const;
  // "quorvel: " and text, a control character in it written as '?': a notice is one line, and
  // never moves the cursor or retitles the terminal, whatever it carries.
  static std::string noticeLine(std::string_view text);

 private:
  enum class Way : unsigned char { asOpened, send, withinATimeLimit };
  static Way makeOwnWithoutWaiting(int fd);
  static ssize_t writeStandardOutput(void* streams, const char* data, size_t size);

  std::array<Way, 3> ways_{};     // of standard input, output and error
  bool alarmInterrupts_ = false;  // SIGALRM ends a write that waits
  FILE* stdioOutput_ = nullptr;   // standard output's own stream, while ours stands in for it
};

// Makes signal interrupt a write that waits, and do nothing else: a handler that does nothing,
// without SA_RESTART. Whether it could.
bool interruptWritesOn(int signal);
// The same for SIGALRM, the time limit of writeWithinATimeLimit.
bool letTheAlarmInterruptWrites();

// Writes to fd, blocking or not, but gives up after limit: what was written by then, or -1 with
// errno EAGAIN when nothing was. The limit is a timer signal (SIGALRM) that interrupts the write,
// once letTheAlarmInterruptWrites has made it one.
ssize_t writeWithinATimeLimit(int fd, const void* data, std::size_t size,
                              std::chrono::microseconds limit);

}  // namespace appkit
