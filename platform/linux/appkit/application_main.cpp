// The application runner: options, launch, the main loop, and an orderly end on a signal.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/linux/appkit/application.h"
#include "platform/linux/appkit/run_loop.h"

namespace {

constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

void printHelp() {
  std::printf(
      "Usage: quorvel [--help] [--version]\n"
      "\n"
      "Shows the CPU temperature, such as \"47.8\u00b0C\", and refreshes it every `interval`\n"
      "seconds, as the Info.plist of its application bundle says (5 when it does not).\n"
      "\n"
      "The temperature goes to standard error: on a terminal one line redrawn in place,\n"
      "otherwise one line per reading, as status bars such as i3blocks, polybar and waybar\n"
      "read it. Standard output gets a line for every reading at which the sensor cannot be\n"
      "opened. SIGINT, SIGTERM and SIGHUP end the program; other arguments are ignored.\n"
      "\n"
      "  --help     show this help and exit\n"
      "  --version  show the version and exit\n"
      "\n"
      "Environment:\n"
      "  SYSFS_PATH  where sysfs is mounted (default /sys)\n");
}

void printVersion() {
  std::printf("quorvel %s\n", QUORVEL_VERSION);
}

int onTerminationSignal(sd_event_source* /*source*/, const signalfd_siginfo* /*info*/,
                        void* /*userdata*/) {
  appkit::terminateApplication();
  return 0;
}

// Termination signals are taken from the loop, between refreshes, never in the middle of one.
int watchTerminationSignals(sd_event* loop) {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : kTerminationSignals) sigaddset(&signals, signal);
  if (sigprocmask(SIG_BLOCK, &signals, nullptr) < 0) return -errno;
  for (const int signal : kTerminationSignals) {
    const int result = sd_event_add_signal(loop, nullptr, signal, onTerminationSignal, nullptr);
    if (result < 0) return result;
  }
  // A status bar that closes its end of the pipe is noticed as a failed write, not a killing.
  ::signal(SIGPIPE, SIG_IGN);
  return 0;
}

}  // namespace

namespace platform {

int applicationMain(int argc, char* argv[]) {
  for (int i = 1; i < argc && argv[i]; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "--help") {
      printHelp();
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argument == "--version") {
      printVersion();
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
  }

  appkit::ApplicationObject& application = appkit::application();
  sd_event* const loop = appkit::mainEventLoop();
  if (!loop) {
    std::fprintf(stderr, "quorvel: cannot make the run loop: %s\n", std::strerror(errno));
    return 1;
  }
  if (const int result = watchTerminationSignals(loop); result < 0) {
    std::fprintf(stderr, "quorvel: cannot watch for signals: %s\n", std::strerror(-result));
    return 1;
  }

  appkit::loadMainInterface(application);
  if (const auto delegate = application.delegate()) {
    delegate->applicationDidFinishLaunching({"NSApplicationDidFinishLaunchingNotification"});
  }

  const int result = sd_event_loop(loop);

  if (const auto delegate = application.delegate()) {
    delegate->applicationWillTerminate({"NSApplicationWillTerminateNotification"});
  }
  appkit::statusBar().finishLines();
  std::fflush(stdout);
  if (result < 0) {
    std::fprintf(stderr, "quorvel: the run loop failed: %s\n", std::strerror(-result));
    return 1;
  }
  return 0;
}

}  // namespace platform
