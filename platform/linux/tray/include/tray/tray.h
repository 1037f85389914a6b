// The desktop's tray as a status bar: each status item a StatusNotifierItem on the session bus,
// with a menu. What the tray asks of the program it shows is one small interface, Program; the
// rest it takes from the stand-in's run loop and streams. It knows nothing of sysfs, of the
// user's files or of the port.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "appkit/line_status_bar.h"
#include "appkit/run_loop.h"
#include "appkit/standard_streams.h"
#include "appkit/status_bar.h"
#include "preferences/preferences.h"

struct sd_bus;

namespace tray {

// A sensor as the menu offers it.
struct OfferedSensor {
  std::string name;        // stable: what choosing it keeps ("coretemp/Package id 0")
  std::string reading;     // as the title shows it ("47.8°C"), empty when it cannot be read
  std::string problem;     // why it cannot be read, when it cannot
  bool automatic = false;  // the one shown when none is chosen
};

// What the last reading left for the item to show beside its title, in the unit the user chose.
struct Status {
  // The item is in its warning state: the reading reached the threshold and has not yet fallen
  // below it less the hysteresis.
  bool hot = false;
  std::string reading;    // the last reading as the title shows it ("118.0°F"); empty before one
  std::string highest;    // the highest reading since the sensor was shown, and when it was seen
                          // ("71.3°C at 14:32"); empty before the first
  std::string threshold;  // the threshold the warning comes at ("90.0°C"); empty when it is off
  std::string automaticThreshold;  // the sensor's own, and where it came from ("95.0°C, the
                                   // sensor's high limit"), which Automatic stands for
};

// What the tray's menu and items need of the program: the sensors to offer, the choice of one, a
// refresh at once, Start at login, and the end. The program implements it and outlives the tray.
class Program {
 public:
  virtual ~Program() = default;

  // Every sensor, read now (a host is about to show the menu). False when they cannot be listed.
  virtual bool listSensors(std::vector<OfferedSensor>& sensors) = 0;
  // The name of the sensor chosen; empty for the automatic choice.
  virtual const std::string& chosenSensor() const = 0;
  // The name of the sensor the readings read, the one the tooltip names; empty while none is
  // found. Reads nothing.
  virtual const std::string& shownSensor() const = 0;
  // Shows the sensor of that name (empty: the automatic choice) from the next reading on, and
  // keeps the choice for the next start: false, with why in problem, when it cannot be kept (it
  // is shown all the same).
  virtual bool chooseSensor(const std::string& name, std::string& problem) = 0;
  // A reading now, outside the refresh's schedule: the title shows what was just chosen.
  virtual void refreshNow() = 0;

  // Whether the session starts the program at login, and the change of it: false, with why in
  // problem, when it is left as it was.
  virtual bool startsAtLogin() const = 0;
  virtual bool setStartsAtLogin(bool start, std::string& problem) = 0;

  // What the last reading left to show; reads nothing. A change of hot is what the item's status
  // and the notification tell of; of highest, what its tooltip tells.
  virtual const Status& status() const = 0;
  // How the user chose to see the temperature, and the interval of the refresh now (the user's,
  // else the bundle's), in seconds.
  virtual const preferences::Preferences& preferences() const = 0;
  virtual double refreshInterval() const = 0;
  // Shows the temperature as chosen from now on (the title and the warning at the next reading,
  // which comes at once; the refresh's timer rescheduled) and keeps the choice for the next start:
  // false, with why in problem, when it cannot be kept (it applies all the same).
  virtual bool choosePreferences(const preferences::Preferences& chosen, std::string& problem) = 0;

  // Asks the application to end (Quit).
  virtual void quit() = 0;
};

// What the tray runs with: the loop it is dispatched from and stopped through, the streams its
// notices go to, the program it shows, the bundle that holds its themed icon, and whether the user
// asked for diagnostics (--verbose). All of them outlive the tray.
struct Context {
  appkit::RunLoop& loop;
  appkit::StandardStreams& streams;
  Program& program;
  std::string bundleContents;  // "<Name>.app/Contents", or empty without a bundle
  bool verbose = false;
};

// What becomes of the title while the connection is not made, and when making it fails.
enum class Fallback : unsigned char {
  end,   // nothing shows it meanwhile; a failure ends the program with status 1
  line,  // the line shows it until the connection is made, and for good when that fails
};

// The tray on the session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus), or nullptr
// with what went wrong in problem when the connection cannot even be started. line, the line on
// standard error, is drawn beside the tray on a terminal, and with Fallback::line stands in for
// it.
std::unique_ptr<appkit::StatusBarBackend> connect(const Context& context,
                                                  std::unique_ptr<appkit::LineStatusBar> line,
                                                  Fallback fallback, std::string& problem);

// The tray on a connection the caller made and hands over (a bus, or a connection to one peer, as
// the fuzz target of the tray's calls makes): each status item puts its objects on it and answers
// the calls a host makes, and nothing more is asked of it. The caller processes the connection.
std::unique_ptr<appkit::StatusBarBackend> makeTrayOnConnection(const Context& context,
                                                               sd_bus* connection);

}  // namespace tray
