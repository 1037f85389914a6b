#include "appkit/bundle.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace appkit {

namespace {

bool isRegularFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The folder part of a path: "/a/b/c" gives "/a/b", "/a" gives "/", "c" gives "".
std::string parentPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The last part of a path: "/a/b.app" gives "b.app", "/" gives "".
std::string fileName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string runningProgramPath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return "";
  return {buffer, static_cast<std::size_t>(length)};
}

std::string bundleContentsForExecutable(const std::string& executable) {
  // Only a program in <Name>.app/Contents/MacOS/ has a bundle. Two folders up from a program
  // anywhere else is a folder of no meaning, where anyone may have put an Info.plist.
  const std::string macos = parentPath(executable);
  std::string contents = parentPath(macos);
  const std::string app = fileName(parentPath(contents));
  if (fileName(macos) != "MacOS" || fileName(contents) != "Contents" || app.size() <= 4 ||
      !app.ends_with(".app")) {
    return "";
  }
  return contents;
}

Bundle Bundle::forRunningProgram() {
  const std::string executable = runningProgramPath();
  return Bundle(executable.empty() ? "" : bundleContentsForExecutable(executable));
}

const InfoDictionary& Bundle::infoDictionary() {
  if (!info_) {
    info_ =
        contents_.empty() ? InfoDictionary() : InfoDictionary::fromFile(contents_ + "/Info.plist");
  }
  return *info_;
}

std::shared_ptr<BundleImage> Bundle::imageNamed(std::string_view name) const {
  // A name is a file name in Resources, never a path that could lead out of the bundle.
  if (contents_.empty() || name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
    return nullptr;
  }
  const std::string base = contents_ + "/Resources/" + std::string(name);
  std::string path = base + ".png";
  if (!isRegularFile(path)) return nullptr;
  std::string path2x = base + "@2x.png";
  if (!isRegularFile(path2x)) path2x.clear();
  return std::make_shared<BundleImage>(std::move(path), std::move(path2x));
}

}  // namespace appkit
