// The application runner: options, the status bar, launch, the main loop, and an orderly end on
// a signal.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/application.h"
#include "appkit/run_loop.h"
#include "appkit/standard_streams.h"
#include "appkit/status_bar.h"
#include "sensor/sensor_list.h"

namespace {

constexpr std::string_view kStatusBarOption = "--status-bar";
constexpr std::string_view kSensorOption = "--sensor";

void printHelp() {
  std::printf(
      "Usage: quorvel [--help] [--version] [--status-bar=tray|line]\n"
      "               [--sensor=NAME] [--list-sensors]\n"
      "\n"
      "Shows the CPU temperature, such as \"47.8\u00b0C\", and refreshes it every `interval`\n"
      "seconds, as the Info.plist of its application bundle says (5 when it does not).\n"
      "\n"
      "In a desktop session (a session bus is reachable) the temperature is an item in the\n"
      "desktop's tray, drawn into its icon; its menu has Quit. Started from a terminal, it is\n"
      "also a line there. Without a session bus it goes to standard error: on a terminal one\n"
      "line redrawn in place, otherwise one line per reading, as status bars such as i3blocks,\n"
      "polybar and waybar read it. Standard output gets a line for every reading at which the\n"
      "sensor cannot be opened. SIGINT, SIGTERM and SIGHUP end the program; other arguments are\n"
      "ignored.\n"
      "\n"
      "  --help               show this help and exit\n"
      "  --version            show the version and exit\n"
      "  --status-bar=tray    the tray item; exit status 1 when no session bus is reachable\n"
      "  --status-bar=line    the line on standard error, even in a desktop session (for\n"
      "                       i3blocks, polybar or a waybar custom module)\n"
      "  --status-bar=auto    the tray when a session bus is reachable, else the line (the\n"
      "                       default)\n"
      "  --list-sensors       list every temperature sensor and exit: a line each, with its\n"
      "                       name, a tab and its reading as the title shows it (or why it\n"
      "                       cannot be read); a tab and * mark the one shown by default\n"
      "  --sensor=NAME        show that sensor (a name --list-sensors gives) instead of the\n"
      "                       CPU's; exit status 2 when no sensor has that name\n"
      "\n"
      "Environment:\n"
      "  SYSFS_PATH                where sysfs is mounted (default /sys)\n"
      "  DBUS_SESSION_BUS_ADDRESS  the session bus (default $XDG_RUNTIME_DIR/bus)\n");
}

void printVersion() {
  std::printf("quorvel %s\n", QUORVEL_VERSION);
}

int finishOutput(int status) {
  return std::fflush(stdout) == 0 ? status : 1;
}

// The value of an option given as "--name=value" or "--name value" (then *i moves past it):
// nullopt when argument is another option; an empty optional value when the value is missing.
std::optional<std::optional<std::string_view>> optionValue(std::string_view argument,
                                                           std::string_view name, int argc,
                                                           char* argv[], int* i) {
  if (!argument.starts_with(name)) return std::nullopt;
  if (argument.size() > name.size() && argument[name.size()] == '=') {
    return std::optional(argument.substr(name.size() + 1));
  }
  if (argument.size() != name.size()) return std::nullopt;  // another option that begins alike
  if (*i + 1 < argc && argv[*i + 1]) return std::optional<std::string_view>(argv[++*i]);
  return std::optional<std::optional<std::string_view>>(std::in_place);
}

// A name from the command line as a message may quote it: printable, at most 64 characters.
std::string quoted(std::string_view text) {
  std::string result;
  for (const char c : text.substr(0, 64)) result += c >= ' ' && c <= '~' ? c : '?';
  return text.size() > 64 ? result + "..." : result;
}

// Every temperature sensor, one per line: name, tab, reading (or why it cannot be read), and a
// tab and * on the automatic choice.
int listSensors() {
  std::vector<sensor::ListedSensor> sensors;
  std::string problem;
  if (!sensor::listSensors(sensor::sysfsRoot(), sensors, problem)) {
    std::fprintf(stderr, "quorvel: cannot search %s: %s\n", sensor::sysfsRoot().c_str(),
                 problem.c_str());
    return 1;
  }
  for (const auto& listed : sensors) {
    std::printf(
        "%s\t%s%s\n", listed.name.c_str(),
        listed.problem.empty() ? listed.reading.c_str() : ("unreadable: " + listed.problem).c_str(),
        listed.automatic ? "\t*" : "");
  }
  return finishOutput(0);
}

}  // namespace

namespace platform {

int applicationMain(int argc, char* argv[]) {
  auto choice = appkit::StatusBarChoice::automatic;
  bool list = false;
  std::string_view named;
  for (int i = 1; i < argc && argv[i]; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "--help") {
      printHelp();
      return finishOutput(0);
    }
    if (argument == "--version") {
      printVersion();
      return finishOutput(0);
    }
    if (const auto value = optionValue(argument, kStatusBarOption, argc, argv, &i)) {
      const auto parsed = *value ? appkit::parseStatusBarChoice(**value) : std::nullopt;
      if (!parsed) {
        std::fprintf(stderr, "quorvel: --status-bar takes tray, line or auto, not \"%.*s\"\n",
                     static_cast<int>(*value ? (*value)->size() : 0),
                     *value ? (*value)->data() : "");
        return 2;
      }
      choice = *parsed;
    }
    if (argument == "--list-sensors") list = true;
    if (const auto value = optionValue(argument, kSensorOption, argc, argv, &i)) {
      named = value->value_or("");
      if (named.empty()) {
        std::fprintf(
            stderr, "quorvel: --sensor takes a sensor's name; quorvel --list-sensors lists them\n");
        return 2;
      }
    }
  }
  if (list) return listSensors();
  if (!named.empty()) {
    // Compared with the names of the sensors found, never opened as a path.
    if (!sensor::hasSensorNamed(sensor::sysfsRoot(), named)) {
      std::fprintf(stderr,
                   "quorvel: no sensor is named \"%s\"; quorvel --list-sensors lists them\n",
                   quoted(named).c_str());
      return 2;
    }
    sensor::showSensorNamed(std::string(named));
  }

  if (const int result =
          appkit::watchSignals({SIGINT, SIGTERM, SIGHUP}, appkit::terminateApplication);
      result < 0) {
    std::fprintf(stderr, "quorvel: cannot make the run loop: %s\n", std::strerror(-result));
    return 1;
  }
  // A status bar that closes its end of the pipe is noticed as a failed write, not a killing.
  ::signal(SIGPIPE, SIG_IGN);
  // Nothing the program writes waits on a reader: the loop blocks only in its wait.
  appkit::keepStandardStreamsFromWaiting();

  std::string problem;
  auto bar = appkit::chooseStatusBar(choice, problem);
  if (!bar) {
    std::fprintf(stderr, "quorvel: %s\n", problem.c_str());
    return 1;
  }
  appkit::setStatusBar(std::move(bar));

  appkit::ApplicationObject& application = appkit::application();
  appkit::loadMainInterface(application);
  if (const auto delegate = application.delegate()) {
    delegate->applicationDidFinishLaunching({"NSApplicationDidFinishLaunchingNotification"});
  }

  const int result = appkit::runMainLoop();

  if (const auto delegate = application.delegate()) {
    delegate->applicationWillTerminate({"NSApplicationWillTerminateNotification"});
  }
  appkit::statusBar().finish();
  std::fflush(stdout);
  if (result < 0) {
    std::fprintf(stderr, "quorvel: the run loop failed: %s\n", std::strerror(-result));
    return 1;
  }
  return result;
}

}  // namespace platform
