// The CPU sensor in sysfs behind the "AppleSMC" service, against fake sysfs trees, through the
// public IOKit calls (and the program's own reading where its output matters).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "iokit/smc_device.h"
#include "iokit_test_support.h"
#include "sensor/sensor_list.h"
#include "sensor/sensor_text.h"
#include "smc/cpu_temperature.h"

namespace {

using iokit_test::Reading;
using iokit_test::readTc0p;
using iokit_test::useSysfs;
using sensor::millidegreesToSp78;

// A reading that went through with the value of millidegrees.
::testing::AssertionResult readsAs(const Reading& r, int64_t millidegrees) {
  if (r.lookup != 0 || !r.found || r.open != 0 || r.info != 0 || r.read != 0) {
    return ::testing::AssertionFailure()
           << std::hex << "lookup " << r.lookup << " found " << r.found << " open " << r.open
           << " info " << r.info << " read " << r.read;
  }
  if (r.dataSize != 2 || r.dataType != 0x73703738) {
    return ::testing::AssertionFailure() << "key information " << r.dataSize << " " << r.dataType;
  }
  if (r.sp78 != millidegreesToSp78(millidegrees)) {
    return ::testing::AssertionFailure() << "read " << r.sp78 << " for " << millidegrees;
  }
  return ::testing::AssertionSuccess();
}

// The service is there and opens, but the read-bytes exchange fails.
::testing::AssertionResult readFails(const Reading& r) {
  if (r.lookup == 0 && r.found && r.open == 0 && r.info == 0 && r.read != 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << std::hex << "lookup " << r.lookup << " found " << r.found
                                       << " open " << r.open << " read " << r.read;
}

::testing::AssertionResult noService(const Reading& r) {
  if (r.lookup == 0 && !r.found) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hex << "lookup " << r.lookup << " found " << r.found;
}

class SysfsSensor : public ::testing::Test {
 protected:
  void SetUp() override { useSysfs(tree); }
  void TearDown() override {
    ::unsetenv("SYSFS_PATH");
    iokit::setSmcDevice(nullptr);
  }
  FakeSysfs tree;
};

TEST_F(SysfsSensor, EachKindOfChipIsFoundInEitherFolder) {
  struct Chip {
    const char* name;
    const char* label;
  };
  const Chip chips[] = {{"applesmc", "TC0P"},
                        {"coretemp", "Package id 0"},
                        {"k10temp", "Tdie"},
                        {"k10temp", "Tctl"},
                        {"zenpower", "Tdie"}};
  int64_t value = 30'000;
  for (const bool inDevice : {false, true}) {
    for (const Chip& chip : chips) {
      FakeSysfs own;
      own.addChip("hwmon3", chip.name, 2, chip.label, std::to_string(++value) + "\n", inDevice);
      useSysfs(own);
      EXPECT_TRUE(readsAs(readTc0p(), value)) << chip.name << " " << chip.label << inDevice;
    }
  }
  FakeSysfs zone;
  zone.addZone("thermal_zone0", "acpitz", "10000\n");
  zone.addZone("thermal_zone4", "x86_pkg_temp", "-12500\n");
  useSysfs(zone);
  EXPECT_TRUE(readsAs(readTc0p(), -12'500));
}

TEST_F(SysfsSensor, OtherChipsAndChannelsAreNoSensor) {
  tree.addChip("hwmon0", "coretemp", 2, "Core", "40000\n");
  tree.addChip("hwmon1", "coretemp", 1, "Package id one", "40000\n");
  tree.addChip("hwmon2", "nct6775", 1, "TC0P", "40000\n");
  tree.addChip("hwmon3", "k10temp", 3, "Tccd1", "40000\n");
  tree.write("class/hwmon/hwmon4/name", "applesmc\n");  // a label without its input
  tree.write("class/hwmon/hwmon4/temp1_label", "TC0P\n");
  tree.addZone("thermal_zone0", "acpitz", "40000\n");
  EXPECT_TRUE(noService(readTc0p()));
}

TEST_F(SysfsSensor, PreferenceOrderDecidesNotTheHwmonNumber) {
  for (const auto& numbers : {"012", "201", "120", "910"}) {
    FakeSysfs own;
    const auto hwmon = [&](int i) { return std::string("hwmon") + numbers[i]; };
    own.addZone("thermal_zone0", "x86_pkg_temp", "70000\n");
    own.addChip(hwmon(0), "coretemp", 1, "Package id 0", "60000\n");
    useSysfs(own);
    EXPECT_TRUE(readsAs(readTc0p(), 60'000)) << "coretemp over the zone, " << numbers;
    own.addChip(hwmon(1), "applesmc", 5, "TC0P", "50000\n");
    useSysfs(own);
    EXPECT_TRUE(readsAs(readTc0p(), 50'000)) << "applesmc over coretemp, " << numbers;
    // Tdie over Tctl, on a channel numbered below or above it.
    own.addChip(hwmon(2), "k10temp", numbers[0] == '0' ? 1 : 3, "Tctl", "45000\n");
    own.write("class/hwmon/" + hwmon(2) + "/temp2_label", "Tdie\n");
    own.write("class/hwmon/" + hwmon(2) + "/temp2_input", "44000\n");
    own.vanish("class/hwmon/" + hwmon(1));
    own.vanish("class/hwmon/" + hwmon(0));
    useSysfs(own);
    EXPECT_TRUE(readsAs(readTc0p(), 44'000)) << "Tdie over Tctl, " << numbers;
  }
}

// The sensor is kept open: a better chip appearing later changes nothing until the sensor stops
// answering. A sensor that vanishes is modelled as a removed sysfs device, which answers no data:
// the tree empties its files, then removes the chip's folder (the open file stays readable).
TEST_F(SysfsSensor, TctlOfK10tempComesBeforeZenpower) {
  tree.addChip("hwmon0", "zenpower", 1, "Tdie", "41000\n");
  tree.addChip("hwmon1", "k10temp", 1, "Tctl", "42000\n");
  useSysfs(tree);
  EXPECT_TRUE(readsAs(readTc0p(), 42'000));
}

// Among equally good sensors the first socket's wins, as a person numbers them: its PCI
// address (fixed-width hexadecimal fields), else the number of its thermal zone.
TEST_F(SysfsSensor, EquallyGoodSensorsGoInTheirNaturalOrder) {
  const auto onDevice = [&](const std::string& hwmon, const std::string& address,
                            int millidegrees) {
    const std::string device = "devices/pci0000:00/" + address;
    std::filesystem::create_directories(tree.path(device));
    tree.addChip(hwmon, "k10temp", 1, "Tdie", std::to_string(millidegrees) + "\n");
    std::filesystem::create_directory_symlink(tree.path(device),
                                              tree.path("class/hwmon/" + hwmon + "/device"));
  };
  onDevice("hwmon0", "0000:00:1a.3", 43'000);
  onDevice("hwmon1", "0000:00:19.3", 42'000);
  useSysfs(tree);
  EXPECT_TRUE(readsAs(readTc0p(), 42'000)) << "19.3 before 1a.3";
  onDevice("hwmon2", "0000:00:18.3", 41'000);
  useSysfs(tree);
  EXPECT_TRUE(readsAs(readTc0p(), 41'000)) << "18.3 before 19.3";

  FakeSysfs zones;
  zones.addZone("thermal_zone10", "x86_pkg_temp", "60000\n");
  zones.addZone("thermal_zone9", "x86_pkg_temp", "40000\n");
  useSysfs(zones);
  EXPECT_TRUE(readsAs(readTc0p(), 40'000)) << "zone 9 before zone 10";
}

TEST_F(SysfsSensor, KeptOpenUntilItVanishesThenFoundAgain) {
  tree.addChip("hwmon1", "coretemp", 1, "Package id 0", "40000\n");
  EXPECT_TRUE(readsAs(readTc0p(), 40'000));
  tree.addChip("hwmon0", "applesmc", 1, "TC0P", "50000\n");
  tree.write("class/hwmon/hwmon1/temp1_input", "41000\n");
  EXPECT_TRUE(readsAs(readTc0p(), 41'000));

  tree.vanish("class/hwmon/hwmon1");
  EXPECT_TRUE(readFails(readTc0p()));
  EXPECT_TRUE(readsAs(readTc0p(), 50'000));
  tree.vanish("class/hwmon/hwmon0");
  EXPECT_TRUE(readFails(readTc0p()));
  EXPECT_TRUE(noService(readTc0p()));
  tree.addChip("hwmon7", "coretemp", 1, "Package id 0", "42000\n");  // the module reloaded
  EXPECT_TRUE(readsAs(readTc0p(), 42'000));
}

// A sensor that holds no temperature fails that reading; the search that follows passes it over
// (here nothing else is left), and finds it again once it holds one.
TEST_F(SysfsSensor, BadContentsFailThatReadingAndTheNextSearchPassesThemOver) {
  const std::string input = "class/hwmon/hwmon2/temp1_input";
  tree.addChip("hwmon2", "coretemp", 1, "Package id 0", "40000\n");
  EXPECT_TRUE(readsAs(readTc0p(), 40'000));
  for (const std::string& bad : std::initializer_list<std::string>{
           "", "garbage\n", "4O000\n", "99999999999999999999999\n", std::string(40, '0') + "4\n"}) {
    tree.write(input, bad);
    EXPECT_TRUE(readFails(readTc0p())) << '"' << bad << '"';
    EXPECT_TRUE(noService(readTc0p())) << '"' << bad << '"';
    tree.write(input, "45000\n");
    EXPECT_TRUE(readsAs(readTc0p(), 45'000)) << "after \"" << bad << '"';
  }
  // The program shows such a reading as 0.0 and prints nothing; the next finds no sensor.
  tree.write(input, "garbage\n");
  double celsius = 99.0;
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(readCpuTemperature(celsius));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(celsius, 0.0);
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(readCpuTemperature(celsius));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error: no SMC found\n");
}

TEST_F(SysfsSensor, ReadErrorsPassTheSensorOverWithoutHanging) {
  const std::string input = "class/hwmon/hwmon2/temp1_input";
  tree.addChip("hwmon2", "coretemp", 1, "Package id 0", "40000\n");
  std::filesystem::remove(tree.path(input));
  std::filesystem::create_directory(tree.path(input));  // read() gives EISDIR
  EXPECT_TRUE(noService(readTc0p()));
  std::filesystem::remove(tree.path(input));
  ASSERT_EQ(::mkfifo(tree.path(input).c_str(), 0644), 0);  // a FIFO with no writer
  EXPECT_TRUE(noService(readTc0p()));

  // FIFOs as a chip's name or a channel's label are passed over, not waited on.
  FakeSysfs planted;
  planted.addChip("hwmon0", "coretemp", 1, "Package id 0", "50000\n");
  std::filesystem::remove(planted.path("class/hwmon/hwmon0/name"));
  ASSERT_EQ(::mkfifo(planted.path("class/hwmon/hwmon0/name").c_str(), 0644), 0);
  planted.addChip("hwmon1", "coretemp", 1, "Package id 0", "51000\n");
  std::filesystem::remove(planted.path("class/hwmon/hwmon1/temp1_label"));
  ASSERT_EQ(::mkfifo(planted.path("class/hwmon/hwmon1/temp1_label").c_str(), 0644), 0);
  planted.addChip("hwmon2", "coretemp", 1, "Package id 0", "52000\n");
  useSysfs(planted);
  EXPECT_TRUE(readsAs(readTc0p(), 52'000));
}

TEST_F(SysfsSensor, NothingAtTheRootIsNoSensor) {
  ::setenv("SYSFS_PATH", tree.path("missing").c_str(), 1);
  iokit::setSmcDevice(nullptr);
  EXPECT_TRUE(noService(readTc0p()));
  tree.write("file", "not a folder\n");
  ::setenv("SYSFS_PATH", tree.path("file").c_str(), 1);
  iokit::setSmcDevice(nullptr);
  EXPECT_TRUE(noService(readTc0p()));
  double celsius = 5.0;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(readCpuTemperature(celsius));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Error: no SMC found\n");
  EXPECT_EQ(celsius, 5.0);
}

TEST_F(SysfsSensor, PermissionErrorsKeepTheirMeaning) {
  tree.addChip("hwmon2", "coretemp", 1, "Package id 0", "40000\n");
  const auto expect = [&](const std::string& folder, auto check, const std::string& named = {}) {
    ::chmod(tree.path(folder).c_str(), 0);
    const std::string result = iokit_test::runUnprivileged([&]() -> std::string {
      sensor::ShownSensor shown(tree.root());
      shown.show(named);
      const Reading r = readTc0p();
      return check(r) ? ""
                      : "lookup " + std::to_string(r.lookup) + " open " + std::to_string(r.open);
    });
    ::chmod(tree.path(folder).c_str(), 0755);
    if (result.starts_with("skip")) GTEST_SKIP() << result;
    EXPECT_EQ(result, "") << folder;
  };
  // The root, a class folder or every chip cannot be searched: not permitted, 0xe00002e2.
  const auto notPermitted = [](const Reading& r) { return r.lookup == kIOReturnNotPermitted; };
  expect(".", notPermitted);
  expect("class/hwmon", notPermitted);
  expect("class/hwmon/hwmon2", notPermitted);
  expect("class/hwmon/hwmon2/name", notPermitted);  // and none in device/ to fall back on
  // The CPU's sensor cannot be read: passed over, and with nothing else found, not permitted.
  expect("class/hwmon/hwmon2/temp1_input", notPermitted);
  // The sensor the user named is found but cannot be opened: not privileged, 0xe00002c1.
  expect(
      "class/hwmon/hwmon2/temp1_input",
      [](const Reading& r) {
        return r.lookup == 0 && r.found && r.open == static_cast<kern_return_t>(0xe00002c1);
      },
      "coretemp/Package id 0");
}

int openFds() {
  int count = 0;
  for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST_F(SysfsSensor, NoDescriptorLeaksAcrossManyReadings) {
  const std::string input = "class/hwmon/hwmon2/temp1_input";
  tree.addChip("hwmon2", "coretemp", 1, "Package id 0", "40000\n");
  const int before = openFds();
  double celsius = 0.0;
  for (int i = 0; i < 20'000; ++i) readCpuTemperature(celsius);
  EXPECT_EQ(celsius, 40.0);
  EXPECT_EQ(openFds(), before + 1) << "the sensor, kept open";
  tree.write(input, "garbage\n");
  for (int i = 0; i < 500; ++i) readTc0p();
  tree.write(input, "40000\n");
  for (int i = 0; i < 50; ++i) {
    tree.vanish("class/hwmon/hwmon2");
    readTc0p();
    readTc0p();
    tree.addChip("hwmon2", "coretemp", 1, "Package id 0", "40000\n");
    ASSERT_TRUE(readsAs(readTc0p(), 40'000));
  }
  EXPECT_EQ(openFds(), before + 1);
}

}  // namespace
