// A sysfs tree in a temporary folder, laid out as the kernel lays out hwmon chips and thermal
// zones, for the program or the IOKit stand-in to read through SYSFS_PATH.
#pragma once

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

class FakeSysfs {
 public:
  FakeSysfs() {
    // Anyone may walk it: a check that drops root's privileges reads it too.
    namespace fs = std::filesystem;
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  }

  const std::string& root() const { return root_; }
  std::string path(const std::string& relative) const { return root_ + "/" + relative; }

  // Writes a file, making its folders.
  void write(const std::string& relative, const std::string& text) const {
    dir_.write(relative, text);
  }

  // A hwmon chip class/hwmon/<folder> with one channel; attributes under device/ if asked.
  void addChip(const std::string& folder, const std::string& name, int channel,
               const std::string& label, const std::string& input, bool inDevice = false) const {
    const std::string base = "class/hwmon/" + folder + (inDevice ? "/device/" : "/");
    const std::string temp = "temp" + std::to_string(channel);
    write(base + "name", name + "\n");
    write(base + temp + "_label", label + "\n");
    write(base + temp + "_input", input);
  }

  // A thermal zone class/thermal/<folder>.
  void addZone(const std::string& folder, const std::string& type, const std::string& temp) const {
    write("class/thermal/" + folder + "/type", type + "\n");
    write("class/thermal/" + folder + "/temp", temp);
  }

  // A removed sysfs device answers no data: its files are emptied, then its folder is removed.
  void vanish(const std::string& relative) const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path(relative))) {
      if (entry.is_regular_file()) std::filesystem::resize_file(entry.path(), 0);
    }
    std::filesystem::remove_all(path(relative));
  }

 private:
  TempDir dir_;
  std::string root_ = dir_.path().string();
};
