#include "support/virtual_screen.h"

#include <stdexcept>

VirtualScreen::VirtualScreen(int width, int height) {
  // -displayfd picks a display nobody uses and writes its number once the server takes clients.
  Pipe displayNumber;
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{
          "Xvfb", "-displayfd", std::to_string(displayNumber.writeEnd()), "-screen", "0",
          std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp"},
      ChildProcess::Environment{}, -1, displayNumber.writeEnd());
  displayNumber.closeWrite();
  const std::string number = readLine(displayNumber.readEnd());
  if (number.empty()) throw std::runtime_error("Xvfb did not start (apt-get install xvfb)");
  display_ = ":" + number;
}
