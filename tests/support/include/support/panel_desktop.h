// A desktop of the test's own: an X server without a screen (Xvfb) and, on a private session bus,
// xfce4-panel with one panel that holds only the Status Tray, as the configuration file says.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "support/child_process.h"
#include "support/screen.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"
#include "support/virtual_screen.h"

class PanelDesktop {
 public:
  // Starts the X server and the panel, and returns once the panel's watcher is on the bus.
  PanelDesktop(const PrivateBus& bus, const std::filesystem::path& panelConfiguration);
  // Ends the panel, then xfconfd, which the bus started for it and which writes the panel's
  // settings back as it ends: before the folder it writes to goes, not after.
  ~PanelDesktop();
  PanelDesktop(const PanelDesktop&) = delete;
  PanelDesktop& operator=(const PanelDesktop&) = delete;

  // What a program needs to run in this desktop: its display, its bus, its folders.
  const ChildProcess::Environment& environment() const { return environment_; }

  // The whole screen now, as ImageMagick's import sees it.
  Screen screenshot() const;

 private:
  const PrivateBus& bus_;
  TempDir dir_;
  VirtualScreen screen_{640, 200};
  ChildProcess::Environment environment_;
  std::unique_ptr<ChildProcess> panel_;
};
