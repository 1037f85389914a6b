// The Linux port's state, in one object: the standard streams and how each is written, the main
// run loop (its timers and the signals it watches), the status bar chosen at launch, the
// application object and the main bundle. The runner makes it and hands it to
// what needs it; callbacks carry it, or the part of it they need, as their context. The free
// functions of platform/port.h forward to the running one, as AppKit's do to NSApp.
#pragma once

#include <memory>
#include <optional>

#include "appkit/application.h"
#include "appkit/bundle.h"
#include "appkit/run_loop.h"
#include "appkit/standard_streams.h"
#include "appkit/status_bar.h"

namespace appkit {

class Port {
 public:
  // The new port is the running one until it goes; then the one before it is again.
  Port();
  ~Port();
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;

  // The port platform::sharedApplication() and the rest forward to; nullptr when none runs.
  static Port* running();

  StandardStreams& streams() { return streams_; }
  RunLoop& loop() { return loop_; }
  ApplicationObject& application() { return application_; }

  // The status bar the runner chose at launch; where it chose none, the line on standard error.
  StatusBarBackend& statusBar();
  // Takes the status bar; on a terminal it follows the terminal's width (SIGWINCH). 0, or a
  // negative errno when the loop cannot watch the signal.
  int setStatusBar(std::unique_ptr<StatusBarBackend> bar);

  // The bundle of the running program, found on first use (Bundle::forRunningProgram).
  Bundle& mainBundle();

  // Whether the user asked for the program's diagnostics (--verbose): a line on standard error for
  // each failure on the session bus that the program otherwise passes over in silence.
  bool verbose() const { return verbose_; }
  void setVerbose(bool verbose) { verbose_ = verbose; }

  // Asks the application to end: the main loop stops, then the runner sends the delegate
  // applicationWillTerminate and finishes the status bar.
  void terminate() { loop_.stop(); }

 private:
  // In the order they are made; they go in the reverse order: what the application holds (its
  // status items) while the status bar, the loop and the streams are still there.
  StandardStreams streams_;
  RunLoop loop_;
  std::unique_ptr<StatusBarBackend> statusBar_;
  ApplicationObject application_;
  std::optional<Bundle> mainBundle_;
  bool verbose_ = false;
  Port* outer_;  // the port that ran before this one
};

}  // namespace appkit
