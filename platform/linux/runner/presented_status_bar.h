// The status bar as the user chose to see it: the title each item is given goes through the
// program (TrayProgram::present: the unit, the warning, the highest reading) to the item of the
// bar underneath, the line's or the tray's, which shows it as it is.
#pragma once

#include <memory>

#include "appkit/status_bar.h"
#include "runner/tray_program.h"

namespace runner {

class PresentedStatusBar final : public appkit::StatusBarBackend {
 public:
  // program outlives the bar.
  PresentedStatusBar(std::unique_ptr<appkit::StatusBarBackend> bar, TrayProgram& program)
      : bar_(std::move(bar)), program_(program) {}

  std::shared_ptr<platform::StatusItem> statusItemWithLength(double length) override;
  void finish() override { bar_->finish(); }
  bool onTerminal() const override { return bar_->onTerminal(); }
  void terminalResized() override { bar_->terminalResized(); }

 private:
  std::unique_ptr<appkit::StatusBarBackend> bar_;
  TrayProgram& program_;
};

}  // namespace runner
