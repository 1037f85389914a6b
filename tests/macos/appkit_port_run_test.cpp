// The AppKit adapter run, not only compiled: the program built against GNUstep (quorvel_gnustep),
// in GNUstep's bundle layout with the real Info.plist, MainMenu.xib and image, under Xvfb, over a
// fake sensor. Its menu-bar double writes on standard output each call the menu bar gets
// (gnustep/recording_status_bar.mm says which).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "support/program_harness.h"
#include "support/read_file.h"
#include "support/virtual_screen.h"

namespace {

// A GNUstep session of the test's own: an X server, and the distributed notification centre
// (gdnc) that every GNUstep application reaches at launch and would otherwise start as a daemon
// that outlives the test. GNUstep keeps its names and files under TEMP, here the test's.
class GnustepSession {
 public:
  GnustepSession() {
    environment_ = {{"DISPLAY", screen_.display()},
                    {"HOME", (dir_.path() / "home").string()},
                    {"TEMP", dir_.path().string()}};
    gdnc_ =
        std::make_unique<ChildProcess>(std::vector<std::string>{"gdnc", "--no-fork"}, environment_);
    // Up once it has registered its name: the one file in a message-port folder "names".
    const auto end = Clock::now() + 20s;
    while (!registered() && Clock::now() < end) std::this_thread::sleep_for(20ms);
    if (!registered()) throw std::runtime_error("gdnc did not register its name");
  }
  const Environment& environment() const { return environment_; }

 private:
  bool registered() const {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path(), error)) {
      if (entry.path().parent_path().filename() == "names") return true;
    }
    return false;
  }

  TempDir dir_;
  VirtualScreen screen_{320, 200};
  Environment environment_;
  std::unique_ptr<ChildProcess> gdnc_;
};

struct Scenario {
  const char* name;
  const char* intervalXml;  // the value under `interval`, none when empty
  bool mainInterface;       // MainMenu.xib in the bundle
  double interval;          // the seconds the timer must repeat at
  bool watched;             // its firings are watched (the 5 s default only scheduled)
};

const Scenario kScenarios[] = {
    {"IntervalNumber", "<real>1</real>", true, 1, true},
    {"IntervalText", "<string>2</string>", true, 2, true},
    {"IntervalAbsent", "", true, 5, false},
    {"NoMainInterface", "<real>1</real>", false, 0, false},
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

std::string title(const std::string& text) {
  return "setTitle: " + text;
}

class AppKitPortRun : public Program, public testing::WithParamInterface<Scenario> {
 protected:
  // GNUstep's layout, not macOS's: Quorvel.app/quorvel and Quorvel.app/Resources/.
  void SetUp() override {
    const Scenario& scenario = GetParam();
    const fs::path resources = dir_.path() / "Quorvel.app/Resources";
    std::string info = readFile(QUORVEL_INFO_PLIST).value_or("");
    if (*scenario.intervalXml) {
      info.replace(info.find("<dict>"), 6,
                   std::string("<dict><key>interval</key>") + scenario.intervalXml);
    }
    dir_.write(resources / "Info.plist", info);
    std::vector<std::string> files{"quorvel-logo-alt.png"};
    if (scenario.mainInterface) files.emplace_back("MainMenu.xib");
    for (const auto& file : files) fs::copy_file(QUORVEL_RESOURCES "/" + file, resources / file);
    program_ = dir_.path() / "Quorvel.app/quorvel";
    fs::create_hard_link(copy_->path() / "quorvel", program_);
    setSensor("47750\n");
    environment_ = session_.environment();
  }

  // The calls recorded so far, but for the launch's end, which only the last scenario needs.
  static std::vector<std::string> calls(const Running& program) {
    auto all = lines(program.out);
    std::erase(all, "launched");
    return all;
  }
  static std::vector<std::string> titles(const Running& program) {
    auto all = calls(program);
    std::erase_if(all, [](const std::string& call) { return !call.starts_with("setTitle: "); });
    return all;
  }
  static bool has(const Running& program, const std::string& call) {
    return std::ranges::count(lines(program.out), call) > 0;
  }

  GnustepSession session_;
};

TEST_P(AppKitPortRun, ShowsTheReadingAndFollowsTheSensor) {
  const Scenario& scenario = GetParam();
  Running program = run();
  const auto stillRuns = [&] { return !program.waitWithoutReading(0s); };

  if (!scenario.mainInterface) {
    // No delegate: the application runs on, and nothing reaches the menu bar.
    ASSERT_TRUE(program.readUntil([&] { return has(program, "launched"); }, 30s)) << program.err;
    EXPECT_FALSE(program.readUntil([&] { return !calls(program).empty(); }, 2s)) << program.out;
    EXPECT_TRUE(stillRuns()) << program.err;
    return;
  }

  // Launch: an empty title, the alternate image, the highlight, then the first reading; then the
  // timer, with a tenth of its interval as tolerance.
  char tolerance[64];
  std::snprintf(tolerance, sizeof tolerance, "setTolerance: %g interval %g", scenario.interval / 10,
                scenario.interval);
  ASSERT_TRUE(program.readUntil([&] { return calls(program).size() >= 5; }, 30s)) << program.err;
  const auto launch = calls(program);
  ASSERT_EQ(std::vector(launch.begin(), launch.begin() + 5),
            (std::vector<std::string>{title(""), "setAlternateImage: quorvel-logo-alt",
                                      "setHighlightMode: 1", title(kTitle), tolerance}));
  if (!scenario.watched) {
    EXPECT_TRUE(stillRuns()) << program.err;
    return;
  }

  // The timer repeats; a new reading is shown at the next firing, an unchanged one is not set
  // again.
  const auto wait = std::chrono::milliseconds(static_cast<int>(3000 * scenario.interval) + 2000);
  const auto fired = [&] { return std::ranges::count(lines(program.out), "fire"); };
  EXPECT_TRUE(program.readUntil([&] { return fired() >= 2; }, wait)) << program.out;
  for (const auto& [millidegrees, shows] :
       {std::pair{"52000\n", "52.0\u00b0C"}, std::pair{"38500\n", "38.5\u00b0C"}}) {
    setSensor(millidegrees);
    EXPECT_TRUE(program.readUntil([&] { return has(program, title(shows)); }, wait)) << program.out;
  }
  const auto shown = fired();
  EXPECT_TRUE(program.readUntil([&] { return fired() >= shown + 2; }, wait)) << program.out;
  EXPECT_EQ(titles(program), (std::vector<std::string>{title(""), title(kTitle),
                                                       title("52.0\u00b0C"), title("38.5\u00b0C")}))
      << program.out;
  EXPECT_TRUE(stillRuns()) << program.err;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, AppKitPortRun, testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
