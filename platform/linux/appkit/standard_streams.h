// Standard output and standard error without ever waiting on their readers: a status bar or a
// log that stops reading loses lines, and the program goes on refreshing and ends when told.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace appkit {

// Where a write to standard output or standard error could wait (a pipe, a terminal, a socket),
// makes it one that never does. The descriptions the program inherited are shared with other
// processes (the shell's terminal) and keep their mode: pipes and terminals are opened anew
// through /proc/self/fd, in non-blocking mode, under the same descriptor numbers; a socket as
// standard output is written through stdio with MSG_DONTWAIT. Files are left as they are.
void keepStandardStreamsFromWaiting();

// Writes what fd takes now: the bytes written, or -1 with errno (EAGAIN: the reader is behind).
// A socket is sent to without waiting; anything else is written as it is opened.
ssize_t writeWithoutWaiting(int fd, bool isSocket, const void* data, std::size_t size);

// Whether fd is a socket.
bool isSocket(int fd);

}  // namespace appkit
