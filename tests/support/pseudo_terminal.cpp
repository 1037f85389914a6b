#include "support/pseudo_terminal.h"

#include <errno.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "support/process.h"

namespace {

winsize sizeOf(int columns) {
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  return size;
}

}  // namespace

PseudoTerminal::PseudoTerminal(int columns) : screen_(static_cast<std::size_t>(columns)) {
  winsize size = sizeOf(columns);
  if (openpty(&master_, &slave_, nullptr, nullptr, columns > 0 ? &size : nullptr) != 0) {
    throw std::runtime_error(std::string("openpty: ") + strerror(errno));
  }
  // A program started on the terminal gets the slave as its standard streams, nothing more.
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
  closeSlave();
  close(master_);
}

void PseudoTerminal::closeSlave() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

bool PseudoTerminal::resize(int columns) {
  const winsize size = sizeOf(columns);
  return ioctl(master_, TIOCSWINSZ, &size) == 0;
}

TerminalScreen& PseudoTerminal::screen() {
  screen_.feed(drain(master_));
  return screen_;
}

int runAsBackgroundJob(int terminal, const std::vector<std::string>& argv, int pidFd) {
  termios modes{};
  if (setsid() < 0 || ioctl(terminal, TIOCSCTTY, 0) < 0 || tcgetattr(terminal, &modes) < 0) {
    return 126;
  }
  modes.c_lflag |= TOSTOP;
  if (tcsetattr(terminal, TCSANOW, &modes) < 0) return 126;
  const pid_t job = fork();
  if (job < 0) return 126;
  if (job == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    _exit(execute(argv));
  }
  setpgid(job, job);
  if (write(pidFd, &job, sizeof job) != sizeof job) return 126;
  int status = 0;
  while (waitpid(job, &status, 0) < 0) {
    if (errno != EINTR) return 126;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
