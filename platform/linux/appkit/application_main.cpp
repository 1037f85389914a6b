// The application runner: the options, the port and its status bar, launch, the main loop, and
// an orderly end on a signal.
#include <signal.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/port.h"
#include "appkit/settings.h"
#include "appkit/user_files.h"
#include "sensor/sensor_list.h"

namespace {

constexpr std::string_view kDescription =
    "Shows the CPU temperature, such as \"47.8\u00b0C\", and refreshes it every `interval`\n"
    "seconds, as the Info.plist of its application bundle says (5 when it does not).\n"
    "\n"
    "In a desktop session (a session bus is reachable) the temperature is an item in the\n"
    "desktop's tray, drawn into its icon; its menu chooses the sensor (kept for the next\n"
    "start), Start at login, and Quit. Started from a terminal, it is also a line there.\n"
    "Without a session bus it goes to standard error: on a terminal one line redrawn in\n"
    "place, otherwise one line per reading, as status bars such as i3blocks, polybar and\n"
    "waybar read it. Standard output gets a line for every reading at which the\n"
    "sensor cannot be opened. SIGINT, SIGTERM and SIGHUP end the program; other arguments are\n"
    "ignored.\n";

constexpr std::string_view kEnvironment =
    "Environment:\n"
    "  SYSFS_PATH                where sysfs is mounted (default /sys)\n"
    "  DBUS_SESSION_BUS_ADDRESS  the session bus (default $XDG_RUNTIME_DIR/bus)\n";

// What the command line asks for.
struct Request {
  const appkit::StatusBarKind* statusBar = &appkit::defaultStatusBarKind();
  bool listSensors = false;
  std::string_view sensorName;  // empty: the CPU's
  bool verbose = false;
};

// --help as the options describe themselves: the usage line, and a row for each way to type one.
struct Help {
  std::string usage = "Usage: quorvel";
  std::string rows;

  // Adds " [text]" to the usage line, on a line of its own below when it would pass 79 columns.
  void use(std::string_view text) {
    constexpr std::string_view kIndent = "               ";
    const std::size_t lineStart = usage.rfind('\n') + 1;  // 0 on the first line
    if (usage.size() - lineStart + text.size() + 3 > 79)
      usage.append("\n").append(kIndent);
    else
      usage.push_back(' ');
    usage.append("[").append(text).append("]");
  }

  void row(std::string_view typed, std::string_view text) {
    constexpr std::size_t kTextColumn = 23;
    std::string line = "  " + std::string(typed);
    line.append(line.size() < kTextColumn ? kTextColumn - line.size() : 1, ' ');
    for (const char c : text) {
      line.push_back(c);
      if (c == '\n') line.append(kTextColumn, ' ');
    }
    rows.append(line).push_back('\n');
  }
};

// An option of the runner: one row of kOptions.
struct Option {
  std::string_view name;  // as typed, "--status-bar"
  bool takesValue;        // as --name=value or --name value
  void (*describe)(Help& help);
  // Takes the option, with its value when it takes one (nullopt: none was given): nullopt to go
  // on, or the exit status to end with at once.
  std::optional<int> (*take)(std::optional<std::string_view> value, Request& request);
};

int finishOutput(int status) {
  return std::fflush(stdout) == 0 ? status : 1;
}

std::optional<int> printHelp(std::optional<std::string_view> value, Request& request);

std::optional<int> printVersion(std::optional<std::string_view> /*value*/, Request& /*request*/) {
  std::printf("quorvel %s\n", QUORVEL_VERSION);
  return finishOutput(0);
}

// "tray, line or auto": the names of the status bars.
std::string statusBarNames() {
  std::string names;
  const auto kinds = appkit::statusBarKinds();
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (i > 0) names += i + 1 == kinds.size() ? " or " : ", ";
    names += kinds[i].name;
  }
  return names;
}

// A notice before the port runs (an option is wrong, no sensor has the name given), written as
// the port writes its own: never waited on.
void notice(const std::string& text) {
  appkit::StandardStreams streams;
  streams.keepFromWaiting();
  streams.notice(text);
}

std::optional<int> chooseStatusBar(std::optional<std::string_view> value, Request& request) {
  request.statusBar = value ? appkit::findStatusBarKind(*value) : nullptr;
  if (request.statusBar) return std::nullopt;
  notice("--status-bar takes " + statusBarNames() + ", not \"" +
         appkit::printable(value.value_or("")) + "\"");
  return 2;
}

void describeStatusBar(Help& help) {
  // The usage line names the choices besides the default.
  std::string choices;
  for (const auto& kind : appkit::statusBarKinds()) {
    if (&kind == &appkit::defaultStatusBarKind()) continue;
    choices.append(choices.empty() ? "" : "|").append(kind.name);
  }
  help.use("--status-bar=" + choices);
  for (const auto& kind : appkit::statusBarKinds()) {
    help.row("--status-bar=" + std::string(kind.name), kind.help);
  }
}

std::optional<int> chooseSensor(std::optional<std::string_view> value, Request& request) {
  request.sensorName = value.value_or("");
  if (!request.sensorName.empty()) return std::nullopt;
  notice("--sensor takes a sensor's name; quorvel --list-sensors lists them");
  return 2;
}

// Every temperature sensor, one per line: name, tab, reading (or why it cannot be read), and a
// tab and * on the automatic choice.
int listSensors() {
  std::vector<sensor::ListedSensor> sensors;
  std::string problem;
  if (!sensor::listSensors(sensor::sysfsRoot(), sensors, problem)) {
    notice("cannot search " + appkit::printable(sensor::sysfsRoot(), 200) + ": " + problem);
    return 1;
  }
  // Standard output stays empty for a script to read; a person is told why.
  if (sensors.empty())
    notice("no temperature sensor under " + appkit::printable(sensor::sysfsRoot(), 200));
  for (const auto& listed : sensors) {
    std::printf(
        "%s\t%s%s\n", listed.name.c_str(),
        listed.problem.empty() ? listed.reading.c_str() : ("unreadable: " + listed.problem).c_str(),
        listed.automatic ? "\t*" : "");
  }
  return finishOutput(0);
}

// The sensor the user chose in the tray's menu before, when it is still there; else (and when the
// settings cannot be read) the CPU's, said once: a sensor taken out of the machine must not keep
// the program from starting at login.
std::string storedSensor() {
  const appkit::Settings settings(appkit::userConfigFolder());
  std::string problem;
  std::string stored = settings.sensor(problem);
  if (!problem.empty()) notice("the settings are left aside: " + appkit::printable(problem, 300));
  if (stored.empty() || sensor::hasSensorNamed(sensor::sysfsRoot(), stored)) return stored;
  notice("the sensor chosen before, \"" + appkit::printable(stored) +
         "\", is not here; the CPU's is shown");
  return {};
}

// The options, in the order --help lists them.
constexpr std::array kOptions{
    Option{"--help", false,
           [](Help& help) {
             help.use("--help");
             help.row("--help", "show this help and exit");
           },
           printHelp},
    Option{"--version", false,
           [](Help& help) {
             help.use("--version");
             help.row("--version", "show the version and exit");
           },
           printVersion},
    Option{"--status-bar", true, describeStatusBar, chooseStatusBar},
    Option{"--list-sensors", false,
           [](Help& help) {
             help.use("--list-sensors");
             help.row("--list-sensors",
                      "list every temperature sensor and exit: a line each, with its\n"
                      "name, a tab and its reading as the title shows it (or why it\n"
                      "cannot be read); a tab and * mark the one shown by default");
           },
           [](std::optional<std::string_view> /*value*/, Request& request) {
             request.listSensors = true;
             return std::optional<int>();
           }},
    Option{"--sensor", true,
           [](Help& help) {
             help.use("--sensor=NAME");
             help.row("--sensor=NAME",
                      "show that sensor (a name --list-sensors gives) instead of the\n"
                      "CPU's; exit status 2 when no sensor has that name");
           },
           chooseSensor},
    Option{"--verbose", false,
           [](Help& help) {
             help.use("--verbose");
             help.row("--verbose",
                      "say on standard error what goes wrong on the session bus: a\n"
                      "refused registration, a failed call, a connection that\n"
                      "cannot be made, signals held back for a bus that is behind");
           },
           [](std::optional<std::string_view> /*value*/, Request& request) -> std::optional<int> {
             request.verbose = true;
             return std::nullopt;
           }},
};

std::optional<int> printHelp(std::optional<std::string_view> /*value*/, Request& /*request*/) {
  Help help;
  for (const auto& option : kOptions) option.describe(help);
  std::printf("%s\n\n%.*s\n%s\n%.*s", help.usage.c_str(), static_cast<int>(kDescription.size()),
              kDescription.data(), help.rows.c_str(), static_cast<int>(kEnvironment.size()),
              kEnvironment.data());
  return finishOutput(0);
}

// Takes the options in argv, in order, up to "--"; other arguments are ignored, as the platform's
// runner does. nullopt to go on, or the exit status to end with at once.
std::optional<int> takeOptions(int argc, char* argv[], Request& request) {
  for (int i = 1; i < argc && argv[i]; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    for (const auto& option : kOptions) {
      if (!argument.starts_with(option.name)) continue;
      std::optional<std::string_view> value;
      if (argument.size() == option.name.size()) {
        if (option.takesValue && i + 1 < argc && argv[i + 1]) value = argv[++i];
      } else if (option.takesValue && argument[option.name.size()] == '=') {
        value = argument.substr(option.name.size() + 1);
      } else {
        continue;  // another option that begins alike is not this one
      }
      if (const auto status = option.take(value, request)) return status;
      break;
    }
  }
  return std::nullopt;
}

}  // namespace

namespace platform {

int applicationMain(int argc, char* argv[]) {
  Request request;
  if (const auto status = takeOptions(argc, argv, request)) return *status;
  if (request.listSensors) return listSensors();
  if (!request.sensorName.empty()) {
    // Compared with the names of the sensors found, never opened as a path.
    if (!sensor::hasSensorNamed(sensor::sysfsRoot(), request.sensorName)) {
      notice("no sensor is named \"" + appkit::printable(request.sensorName) +
             "\"; quorvel --list-sensors lists them");
      return 2;
    }
  }

  appkit::Port port;
  // The sensor named on the command line, for this run; else the one the user chose before.
  port.sensor().show(request.sensorName.empty() ? storedSensor() : std::string(request.sensorName));
  port.setVerbose(request.verbose);
  // A status bar that closes its end of the pipe is noticed as a failed write, not a killing.
  ::signal(SIGPIPE, SIG_IGN);
  // Nothing the program writes waits on a reader: the loop blocks only in its wait.
  port.streams().keepFromWaiting();
  if (const int result =
          port.loop().watchSignals({SIGINT, SIGTERM, SIGHUP}, [&port] { port.terminate(); });
      result < 0) {
    port.streams().notice(std::string("cannot make the run loop: ") + std::strerror(-result));
    return 1;
  }

  std::string problem;
  auto bar = request.statusBar->make(port, problem);
  if (!bar) {
    port.streams().notice(problem);
    return 1;
  }
  port.setStatusBar(std::move(bar));

  appkit::ApplicationObject& application = port.application();
  appkit::loadMainInterface(application);
  if (const auto delegate = application.delegate()) {
    delegate->applicationDidFinishLaunching({"NSApplicationDidFinishLaunchingNotification"});
  }

  const int result = port.loop().run();

  if (const auto delegate = application.delegate()) {
    delegate->applicationWillTerminate({"NSApplicationWillTerminateNotification"});
  }
  port.statusBar().finish();
  std::fflush(stdout);
  if (result < 0) {
    port.streams().notice(std::string("the run loop failed: ") + std::strerror(-result));
    return 1;
  }
  return result;
}

}  // namespace platform
