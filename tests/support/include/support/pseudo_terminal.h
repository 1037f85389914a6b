// A pseudo-terminal of the test's own: the side a program writes to (the slave), and the side the
// test reads and types on (the master), with the screen its output draws.
#pragma once

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
