// A pseudo-terminal of the test's own: the side a program writes to (the slave), and the side the
// test reads and types on (the master), with the screen its output draws.
#pragma once

#include <string>
#include <vector>

#include "support/terminal_screen.h"

class PseudoTerminal {
 public:
  // Of columns columns; 0: of no width a program can tell.
  explicit PseudoTerminal(int columns = 0);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int master() const { return master_; }
  int slave() const { return slave_; }
  void closeSlave();  // once a child holds it: the master sees the end when the child ends

  // Changes the width, as a terminal window does when resized (the program is not told).
  bool resize(int columns);

  // What the terminal shows after everything written to it so far.
  TerminalScreen& screen();

 private:
  int master_ = -1;
  int slave_ = -1;
  TerminalScreen screen_;
};

// Runs argv as a shell runs "command &" on terminal after "stty tostop": in a process group of its
// own, which is not the terminal's foreground one, in a session whose controlling terminal is
// terminal and whose leader (this process, standing for the shell) is its parent. Writes the job's
// process id on pidFd, waits for the job's end and returns its exit status (128 + the signal that
// killed it). For a Child's body; the job is killed when this process ends.
int runAsBackgroundJob(int terminal, const std::vector<std::string>& argv, int pidFd);
