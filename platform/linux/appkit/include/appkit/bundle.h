// The application bundle the running program belongs to: Quorvel.app/Contents/MacOS/<program>,
// with Contents/Info.plist and Contents/Resources/ beside the folder of the program.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "appkit/info_dictionary.h"
#include "platform/port.h"

namespace appkit {

// The real path of the running program, from /proc/self/exe; "" when it cannot be told (no /proc).
std::string runningProgramPath();

// The bundle's Contents folder for an executable at its real path, <Name>.app/Contents/MacOS/
// <program>; "" for an executable anywhere else, which has no bundle. Paths are plain text here:
// std::filesystem would bring the C++ locale machinery into a program that otherwise has no use for
// it.
std::string bundleContentsForExecutable(const std::string& executable);

// A bundle image: the path of its file, and of its double-resolution variant when there is one.
class BundleImage : public platform::Image {
 public:
  BundleImage(std::string path, std::string path2x)
      : path_(std::move(path)), path2x_(std::move(path2x)) {}
  const std::string& path() const { return path_; }
  const std::string& path2x() const { return path2x_; }  // empty when there is none

 private:
  std::string path_;
  std::string path2x_;
};

class Bundle {
 public:
  explicit Bundle(std::string contents) : contents_(std::move(contents)) {}

  // The bundle of the running program, found from the real path of its executable. When that
  // cannot be found (no /proc), or the program is in no bundle, the bundle has no folder: no
  // information, no images. The port keeps it as the main bundle.
  static Bundle forRunningProgram();

  const std::string& contents() const { return contents_; }
  // Read from Contents/Info.plist on first use, once.
  const InfoDictionary& infoDictionary();
  // Contents/Resources/<name>.png (and <name>@2x.png), or nullptr when it is not there or the
  // name is not a plain file name.
  std::shared_ptr<BundleImage> imageNamed(std::string_view name) const;

 private:
  std::string contents_;
  std::optional<InfoDictionary> info_;
};

}  // namespace appkit
