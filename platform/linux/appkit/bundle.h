// The application bundle the running program belongs to: Quorvel.app/Contents/MacOS/<program>,
// with Contents/Info.plist and Contents/Resources/ beside the folder of the program.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/appkit/info_dictionary.h"
#include "platform/port.h"

namespace appkit {

// The bundle's Contents folder for an executable at its real path: two folders up from it.
std::filesystem::path bundleContentsForExecutable(const std::filesystem::path& executable);

// A bundle image: the path of its file, and of its double-resolution variant when there is one.
class BundleImage : public platform::Image {
 public:
  BundleImage(std::filesystem::path path, std::filesystem::path path2x)
      : path_(std::move(path)), path2x_(std::move(path2x)) {}
  const std::filesystem::path& path() const { return path_; }
  const std::filesystem::path& path2x() const { return path2x_; }  // empty when there is none

 private:
  std::filesystem::path path_;
  std::filesystem::path path2x_;
};

class Bundle {
 public:
  explicit Bundle(std::filesystem::path contents) : contents_(std::move(contents)) {}

  // The bundle of the running program, found from the real path of its executable. When that
  // cannot be found (no /proc), the bundle has no folder: no information, no images.
  static Bundle& main();

  const std::filesystem::path& contents() const { return contents_; }
  // Read from Contents/Info.plist on first use, once.
  const InfoDictionary& infoDictionary();
  // Contents/Resources/<name>.png (and <name>@2x.png), or nullptr when it is not there or the
  // name is not a plain file name.
  std::shared_ptr<BundleImage> imageNamed(std::string_view name) const;

 private:
  std::filesystem::path contents_;
  std::optional<InfoDictionary> info_;
};

}  // namespace appkit
