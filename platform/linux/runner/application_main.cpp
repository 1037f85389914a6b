// The application runner: the options, the port and its status bar, launch, the main loop, and
// an orderly end on a signal.
#include <getopt.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "appkit/bundle.h"
#include "appkit/port.h"
#include "presented_status_bar.h"
#include "runner/tray_program.h"
#include "sensor/sensor_list.h"
#include "status_bar_choice.h"
#include "text/ascii.h"
#include "xdg/settings.h"
#include "xdg/user_files.h"

namespace {

// Every line of --help fits 79 columns; the option rows' texts start at column 23, so a line of
// one holds 56 characters (status_bar_choice.cpp's texts, too).
constexpr std::string_view kDescription =
    "Shows the CPU temperature, such as \"47.8\u00b0C\", and refreshes it every `interval`\n"
    "seconds, as the Info.plist of its application bundle says (5 when it does not).\n"
    "\n"
    "In a desktop session (a session bus is reachable) the temperature is an item in\n"
    "the desktop's tray: a label beside a thermometer where the tray shows labels,\n"
    "else drawn into its icon; its menu chooses the sensor, the unit, when to warn\n"
    "(the number turns red), whether to notify, and the refresh (all kept for the\n"
    "next start), Start at login, and Quit. Started from a terminal, it is also a\n"
    "line there. Without a session bus it goes to standard error: on a terminal\n"
    "one line redrawn in place, otherwise one line per reading, as status bars such\n"
    "as i3blocks, polybar and waybar read it. Standard output gets a line for every\n"
    "reading at which no sensor is found or it cannot be opened. SIGINT, SIGTERM and\n"
    "SIGHUP end the program.\n"
    "\n"
    "What the menu chooses is kept in $XDG_CONFIG_HOME/quorvel/quorvel.conf, where a\n"
    "status bar's user writes it: under [Quorvel], Unit=F, WarnAt=85 (in \u00b0C) or\n"
    "Off, Notify=true, Interval=2 (seconds, in place of the bundle's).\n";

constexpr std::string_view kTwice = "Of an option given twice, the last one holds.\n";

constexpr std::string_view kEnvironment =
    "Environment:\n"
    "  SYSFS_PATH                where sysfs is mounted (default /sys)\n"
    "  DBUS_SESSION_BUS_ADDRESS  the session bus (default $XDG_RUNTIME_DIR/bus)\n";

// What the command line asks for. Of an option given twice the last one holds, as with most
// programs: a wrapper script can add an option that the command line after it overrides.
struct Request {
  const runner::StatusBarKind* statusBar = &runner::defaultStatusBarKind();
  bool listSensors = false;
  bool help = false;
  bool version = false;
  std::string_view sensorName;  // empty: the CPU's
  bool verbose = false;
};

// What getopt_long returns for each option: above any character, so that an option is never
// taken for the character of an unknown short one in optopt.
enum class Id : int { help = 0x100, version, statusBar, listSensors, sensor, verbose };

// "tray, line or auto": the names of the status bars.
std::string statusBarNames() {
  std::string names;
  const auto kinds = runner::statusBarKinds();
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (i > 0) names += i + 1 == kinds.size() ? " or " : ", ";
    names += kinds[i].name;
  }
  return names;
}

// An option of the runner: one row of kOptions, the table that getopt_long reads and --help
// prints (tests check the manual page's OPTIONS section against --help). An option with a value
// says here how the value is taken and what a missing or wrong one is told.
struct Option {
  Id id;
  const char* name;  // without "--"
  // For an option with a value (as --name=value or --name value): takes it into the request, or
  // gives what a wrong value is told; nullptr for an option without one.
  std::optional<std::string> (*take)(std::string_view value, Request& request);
  // What the option's value must be, as a missing value is told.
  std::string (*wanted)();
  // For an option without a value, what it sets in the request.
  bool Request::*flag;
  // The line of the usage it stands in: a run's options, the list's, or what only informs.
  enum class Usage : unsigned char { run, list, inform } usage;
  // How --help shows it, and what it says of it ('\n' goes on in the next line, under the first);
  // empty for --status-bar, which has a row for each status bar.
  std::string_view typed;
  std::string_view help;
};

std::string statusBarWanted() {
  return "--status-bar takes " + statusBarNames();
}

std::optional<std::string> takeStatusBar(std::string_view value, Request& request) {
  request.statusBar = runner::findStatusBarKind(value);
  if (request.statusBar) return std::nullopt;
  return statusBarWanted() + ", not \"" + text::printable(value) + "\"";
}

std::string sensorWanted() {
  return "--sensor takes a sensor's name; quorvel --list-sensors lists them";
}

std::optional<std::string> takeSensor(std::string_view value, Request& request) {
  request.sensorName = value;
  if (value.empty()) return sensorWanted();
  return std::nullopt;
}

// The options, in the order --help lists them.
constexpr std::array kOptions{
    Option{Id::help, "help", nullptr, nullptr, &Request::help, Option::Usage::inform, "--help",
           "show this help and exit"},
    Option{Id::version, "version", nullptr, nullptr, &Request::version, Option::Usage::inform,
           "--version", "show the version and exit"},
    Option{Id::statusBar, "status-bar", takeStatusBar, statusBarWanted, nullptr, Option::Usage::run,
           "", ""},
    Option{Id::listSensors, "list-sensors", nullptr, nullptr, &Request::listSensors,
           Option::Usage::list, "--list-sensors",
           "list every temperature sensor and exit: a line each,\n"
           "with its name, a tab and its reading as the title shows\n"
           "it (or why it cannot be read); a tab and * mark the one\n"
           "a run with the same options shows, followed by\n"
           "\"--sensor\" or \"chosen\" (in the menu) where that is not\n"
           "the CPU's"},
    Option{Id::sensor, "sensor", takeSensor, sensorWanted, nullptr, Option::Usage::run,
           "--sensor=NAME",
           "show that sensor (a name --list-sensors gives) instead\n"
           "of the CPU's; exit status 2 when no sensor has that name"},
    Option{Id::verbose, "verbose", nullptr, nullptr, &Request::verbose, Option::Usage::run,
           "--verbose",
           "say on standard error what goes wrong on the session\n"
           "bus: a refused registration, a failed call, a connection\n"
           "that cannot be made, signals held back for a bus that is\n"
           "behind"},
};

// Each row takes a value, and says what a missing one is told, or sets a flag: never both.
constexpr bool rowsAreWhole() {
  for (const auto& option : kOptions) {
    if ((option.take != nullptr) != (option.wanted != nullptr) ||
        (option.take != nullptr) == (option.flag != nullptr)) {
      return false;
    }
  }
  return true;
}
static_assert(rowsAreWhole());

int finishOutput(int status) {
  return std::fflush(stdout) == 0 ? status : 1;
}

// A notice before the port runs (an option is wrong, no sensor has the name given), written as
// the port writes its own: never waited on.
void notice(const std::string& text) {
  appkit::StandardStreams streams;
  streams.keepFromWaiting();
  streams.notice(text);
}

// A command line that asks for nothing the program does: the notice, and where to read what it
// does, before anything starts. The exit status, 2.
int usageError(const std::string& text) {
  appkit::StandardStreams streams;
  streams.keepFromWaiting();
  streams.notice(text, "Try 'quorvel --help' for more information.");
  return 2;
}

// A row of --help: typed, and the text from column 23 on.
void helpRow(std::string& rows, std::string_view typed, std::string_view text) {
  constexpr std::size_t kTextColumn = 23;
  std::string line = "  " + std::string(typed);
  line.append(line.size() < kTextColumn ? kTextColumn - line.size() : 1, ' ');
  for (const char c : text) {
    line.push_back(c);
    if (c == '\n') line.append(kTextColumn, ' ');
  }
  rows.append(line).push_back('\n');
}

int printHelp() {
  // The usage line names the status bars besides the default.
  std::string choices;
  for (const auto& kind : runner::statusBarKinds()) {
    if (&kind == &runner::defaultStatusBarKind()) continue;
    choices.append(choices.empty() ? "" : "|").append(kind.name);
  }
  std::string rows;
  for (const auto& option : kOptions) {
    if (option.id != Id::statusBar) {
      helpRow(rows, option.typed, option.help);
      continue;
    }
    for (const auto& kind : runner::statusBarKinds()) {
      helpRow(rows, "--status-bar=" + std::string(kind.name), kind.help);
    }
  }
  // The usage: a line for a run's options, one for the list's, one for what only informs.
  std::string run, list, inform;
  for (const auto& option : kOptions) {
    const std::string typed =
        option.id == Id::statusBar ? "--status-bar=" + choices : std::string(option.typed);
    switch (option.usage) {
      case Option::Usage::run:
        run.append(" [").append(typed).append("]");
        break;
      case Option::Usage::list:
        list.append(" ").append(typed);
        break;
      case Option::Usage::inform:
        inform.append(inform.empty() ? " " : " | ").append(typed);
        break;
    }
  }
  std::printf(
      "Usage: quorvel%s\n"
      "       quorvel%s\n"
      "       quorvel%s\n\n%.*s\nOptions:\n%s\n%.*s\n%.*s",
      run.c_str(), list.c_str(), inform.c_str(), static_cast<int>(kDescription.size()),
      kDescription.data(), rows.c_str(), static_cast<int>(kTwice.size()), kTwice.data(),
      static_cast<int>(kEnvironment.size()), kEnvironment.data());
  return finishOutput(0);
}

const Option* findOption(int id) {
  for (const auto& option : kOptions) {
    if (static_cast<int>(option.id) == id) return &option;
  }
  return nullptr;
}

// Reads argv with getopt_long: nullopt to go on, or the exit status to end with at once.
//
// The desktop entry and the autostart entry run the program without arguments (their Exec has no
// field codes), so no launcher adds arguments of its own, and none is ignored: a word the program
// does not know, an option misspelt, or a value missing ends it with status 2 before anything
// starts, rather than leave the user wondering why an option did nothing. That holds for words
// after "--" too: the program takes no operands, so "--" ends the options and anything after it
// is still a word too many.
//
// An abbreviation ("--verb" for --verbose), which getopt_long takes, is refused as an unknown
// option: a typo is not silently read as another option, and an option added later does not
// change what an older command line means.
std::optional<int> takeOptions(int argc, char* argv[], Request& request) {
  std::vector<option> longOptions;
  longOptions.reserve(kOptions.size() + 1);
  for (const auto& option : kOptions) {
    longOptions.push_back({option.name, option.take ? required_argument : no_argument, nullptr,
                           static_cast<int>(option.id)});
  }
  longOptions.push_back({});
  // getopt_long keeps its place in libc's optind and a hidden pointer that only optind = 0 resets
  // (glibc): each run reads its own argv from the start, as the tests run the program many times
  // in one process. Its messages are left to us (opterr = 0), to go out as every notice does.
  optind = 0;
  opterr = 0;
  // '+': the options end at the first word that is not one, and argv keeps its order (which we
  // refuse anyway); ':': a missing value is told from an unknown option.
  constexpr const char* kShortOptions = "+:";
  for (;;) {
    const int id = getopt_long(argc, argv, kShortOptions, longOptions.data(), nullptr);
    if (id == -1) break;
    // The word the option came in, before any value in a word of its own.
    const bool ownWord =
        id != '?' && id != ':' && optarg != nullptr && optind >= 2 && optarg == argv[optind - 1];
    const char* word = argv[optind - (ownWord ? 2 : 1)];
    const Option* option = findOption(id == '?' || id == ':' ? optopt : id);
    if (id == '?' && optopt != 0 && !option) {
      return usageError("invalid option -- '" +
                        text::printable(std::string(1, static_cast<char>(optopt))) + "'");
    }
    const std::string_view typed = std::string_view(word).substr(0, std::strcspn(word, "="));
    if (!option || !typed.starts_with("--") || typed.substr(2) != option->name) {
      return usageError("unrecognized option '" + text::printable(word) + "'");
    }
    if (id == '?') return usageError("option '--" + std::string(option->name) + "' takes no value");
    if (id == ':') return usageError(option->wanted());
    if (option->take) {
      if (const auto wrong = option->take(optarg, request)) return usageError(*wrong);
    } else {
      request.*option->flag = true;
    }
  }
  if (optind < argc)
    return usageError("unexpected argument '" + text::printable(argv[optind]) + "'");
  return std::nullopt;
}

// What the user chose before, from the settings, read once: the sensor chosen in the tray's menu,
// when it is still there, else (and when the settings cannot be read) the CPU's, and how they
// chose to see the temperature. What cannot be taken is said once, and the default used: a sensor
// taken out of the machine must not keep the program from starting at login. named: the sensor
// the command line names, which stands in for the one chosen (not looked for then).
xdg::Settings::Chosen storedChoices(std::string_view named) {
  const xdg::Settings settings(xdg::userConfigFolder());
  std::vector<std::string> notices;
  xdg::Settings::Chosen stored = settings.chosen(notices);
  for (const auto& line : notices) notice(text::printable(line, 300));
  if (!named.empty()) {
    stored.sensor = named;
  } else if (!stored.sensor.empty() &&
             !sensor::hasSensorNamed(sensor::sysfsRoot(), stored.sensor)) {
    notice("the sensor chosen before, \"" + text::printable(stored.sensor) +
           "\", is not here; the CPU's is shown");
    stored.sensor.clear();
  }
  return stored;
}

// Every temperature sensor, one per line: name, tab, reading (or why it cannot be read), and a
// tab and * on the one a run with these options shows, with why where that is not the CPU's.
int listSensors(std::string_view named) {
  const xdg::Settings::Chosen stored = storedChoices(named);
  std::vector<sensor::ListedSensor> sensors;
  std::string problem;
  if (!sensor::listSensors(sensor::sysfsRoot(), sensors, problem, stored.sensor,
                           stored.preferences.unit)) {
    notice("cannot search " + text::printable(sensor::sysfsRoot(), 200) + ": " + problem);
    return 1;
  }
  // Standard output stays empty for a script to read; a person is told why.
  if (sensors.empty())
    notice("no temperature sensor under " + text::printable(sensor::sysfsRoot(), 200));
  for (const auto& listed : sensors)
    std::printf("%s\n", sensor::listedLine(listed, named.empty() ? "chosen" : "--sensor").c_str());
  if (!sensors.empty() && std::none_of(sensors.begin(), sensors.end(),
                                       [](const sensor::ListedSensor& s) { return s.shown; })) {
    notice(named.empty() ? "none is shown: none of them is the CPU's (--sensor=NAME shows one)"
                         : "none is shown: no sensor is named \"" + text::printable(named) + "\"");
  }
  return finishOutput(0);
}

}  // namespace

namespace platform {

int applicationMain(int argc, char* argv[]) {
  Request request;
  if (const auto status = takeOptions(argc, argv, request)) return *status;
  // Once the whole command line is well formed: --help, else --version, else --list-sensors,
  // whatever their order.
  if (request.help) return printHelp();
  if (request.version) {
    std::printf("quorvel %s\n", QUORVEL_VERSION);
    return finishOutput(0);
  }
  if (request.listSensors) return listSensors(request.sensorName);
  if (!request.sensorName.empty()) {
    // Compared with the names of the sensors found, never opened as a path.
    if (!sensor::hasSensorNamed(sensor::sysfsRoot(), request.sensorName)) {
      notice("no sensor is named \"" + text::printable(request.sensorName) +
             "\"; quorvel --list-sensors lists them");
      return 2;
    }
  }

  // The sensor the readings read: the one named on the command line, for this run; else the one
  // the user chose before; else the CPU's.
  sensor::ShownSensor shown(sensor::sysfsRoot());
  const xdg::Settings::Chosen stored = storedChoices(request.sensorName);
  shown.show(stored.sensor);
  // What the tray asks of the program: made once the port is, and gone after it, with the status
  // bar the port holds.
  std::optional<runner::TrayProgram> program;
  appkit::Port port;
  program.emplace(port, shown, appkit::runningProgramPath(), stored.preferences);
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
  auto bar = request.statusBar->make(port, *program, problem);
  if (!bar) {
    port.streams().notice(problem);
    return 1;
  }
  // Each title goes through the program, which shows it as the user chose.
  port.setStatusBar(std::make_unique<runner::PresentedStatusBar>(std::move(bar), *program));

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
