// --list-sensors and --sensor=NAME, on the built program: names that survive renumbering, two
// chips of one driver (drives by their PCI address, not the number the driver gave them), names
// that name nothing. (A named sensor that goes and comes back is in
// program_test.cpp, beside the CPU's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/program_harness.h"
#include "support/read_file.h"
#include "support/sysfs_layout.h"

namespace {

SysfsLayout corpusMachine(const std::string& name) {
  return parseSysfsLayout(
      readFile(QUORVEL_SOURCE_DIR "/tests/sensor-corpus/" + name + ".machine").value_or(""));
}

}  // namespace

TEST_F(Program, ListsEverySensorOnceAndMarksTheCpusWhateverTheNumbers) {
  SysfsLayout layout = corpusMachine("amd-ryzen7-5700u-two-nvme");
  layout.lines.insert(layout.lines.end(), {"chip drivetemp target0:0:0/0:0:0:0", " 1 N/A"});
  FakeSysfs tree;
  FakeSysfs renumbered;
  buildSysfsLayout(tree, layout);
  buildSysfsLayout(renumbered, layout, 4, true);
  const std::string expected =
      "amdgpu/edge\t50.0\u00b0C\n"
      "drivetemp/temp1\tunreadable: no data\n"
      "iwlwifi_1\t53.0\u00b0C\n"
      "k10temp/Tctl\t52.9\u00b0C\t*\n"
      "nvme@0000:01:00.0/Composite\t69.8\u00b0C\n"
      "nvme@0000:01:00.0/Sensor 1\t69.8\u00b0C\n"
      "nvme@0000:05:00.0/Composite\t59.9\u00b0C\n"
      "nvme@0000:05:00.0/Sensor 1\t59.9\u00b0C\n"
      "nvme@0000:05:00.0/Sensor 2\t63.9\u00b0C\n";
  const Running::Environment mine = {{"XDG_CONFIG_HOME", configHome().string()}};
  for (const FakeSysfs* sysfs : {&tree, &renumbered}) {
    // It lists and ends: no title, whatever the bundle's interval.
    Running list(program_, {"--list-sensors"}, sysfs->root(), false, mine);
    const auto status = list.wait();
    EXPECT_TRUE(exitedWithZero(status)) << describe(status);
    EXPECT_EQ(list.out, expected);
    EXPECT_EQ(list.err, "");
  }
  // The * goes where this run's title comes from: the sensor named, by --sensor over the one
  // chosen in the menu before, saying which; none where the name names nothing.
  const std::string drive = "nvme@0000:05:00.0/Composite\t59.9\u00b0C";
  const std::string cpus = "k10temp/Tctl\t52.9\u00b0C";
  dir_.write(configHome() / "quorvel" / "quorvel.conf", "[Quorvel]\nSensor=iwlwifi_1\n");
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> rows = {
      {{"--sensor=nvme@0000:05:00.0/Composite"}, {drive + "\t* --sensor\n", cpus + "\n"}},
      {{}, {"iwlwifi_1\t53.0\u00b0C\t* chosen\n", cpus + "\n"}},
      {{"--sensor=k10temp/Tctl"}, {cpus + "\t*\n", "iwlwifi_1\t53.0\u00b0C\n"}},
      {{"--sensor=gone"}, {cpus + "\n", drive + "\n"}},
  };
  for (const auto& [options, lines] : rows) {
    std::vector<std::string> arguments = {"--list-sensors"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    Running list(program_, arguments, tree.root(), false, mine);
    EXPECT_TRUE(exitedWithZero(list.wait()));
    for (const std::string& line : lines) EXPECT_NE(list.out.find(line), std::string::npos) << line;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '*'), options == rows[3].first ? 0 : 1);
    EXPECT_EQ(list.err, options == rows[3].first
                            ? "quorvel: none is shown: no sensor is named \"gone\"\n"
                            : "");
  }
  // A machine without a sensor (a virtual machine) lists nothing, and says so on standard error.
  const FakeSysfs empty;
  Running none(program_, {"--list-sensors"}, empty.root());
  EXPECT_TRUE(exitedWithZero(none.wait()));
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "quorvel: no temperature sensor under " + empty.root() + "\n");
  // A tree that cannot be searched says why, with the system's own reason, and fails.
  const FakeSysfs looped;
  std::filesystem::create_directories(looped.path("class"));
  std::filesystem::create_symlink("hwmon", looped.path("class/hwmon"));
  Running failed(program_, {"--list-sensors"}, looped.root());
  EXPECT_TRUE(exitedWith(failed.wait(), 1));
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err,
            "quorvel: cannot search " + looped.root() + ": " + std::strerror(ELOOP) + "\n");
}

TEST_F(Program, ShowsTheNamedSensorOfTwoChipsOfOneDriverOnAnyNumbering) {
  const SysfsLayout layout = corpusMachine("amd-dual-epyc-7281-zenpower");
  for (const bool renumbered : {false, true}) {
    FakeSysfs tree;
    buildSysfsLayout(tree, layout, renumbered ? 7 : 0, renumbered);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--sensor=zenpower@0000:00:19.3/Tdie"}, {"--sensor", "zenpower@0000:00:19.3/Tdie"}}) {
      Running quorvel(program_, arguments, tree.root());
      ASSERT_TRUE(quorvel.readTitles(2)) << quorvel.err;
      quorvel.send(SIGTERM);
      EXPECT_TRUE(exitedWithZero(quorvel.wait()));
      for (const auto& title : lines(quorvel.err)) EXPECT_EQ(title, "26.5\u00b0C");
      EXPECT_EQ(quorvel.out, "");
    }
  }
}

TEST_F(Program, ANameThatNamesNoSensorEndsWithStatusTwo) {
  const std::vector<std::string> names = {
      "--sensor=nope",
      "--sensor=coretemp",
      "--sensor=hwmon0/temp1",
      "--sensor=coretemp/Package id 0 ",
      "--sensor=" + sysfs_.path("class/hwmon/hwmon0/temp1_input"),
      "--sensor=../../../etc/passwd",
      "--sensor=coretemp/Package id 0\n",
      "--sensor=coretemp/\x01\xff\x7f",
      "--sensor=" + std::string(10'000, 'a'),
      "--sensor=",
      "--sensor",
  };
  for (const std::string& argument : names) {
    Running quorvel = run({argument});
    const auto status = quorvel.wait();
    EXPECT_TRUE(exitedWith(status, 2)) << argument.substr(0, 40) << ": " << describe(status);
    EXPECT_EQ(quorvel.out, "");
    EXPECT_NE(quorvel.err.find("quorvel --list-sensors"), std::string::npos) << quorvel.err;
    EXPECT_LT(quorvel.err.size(), 200u);
    EXPECT_EQ(quorvel.err.find('\x01'), std::string::npos);
  }
}
