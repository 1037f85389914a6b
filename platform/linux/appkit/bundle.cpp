#include "platform/linux/appkit/bundle.h"

#include <system_error>

namespace appkit {

namespace {

bool isRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::filesystem::path bundleContentsForExecutable(const std::filesystem::path& executable) {
  return executable.parent_path().parent_path();
}

Bundle& Bundle::main() {
  // Made once and kept for the life of the process, as the platform's main bundle is.
  static Bundle* const bundle = [] {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return new Bundle(error ? std::filesystem::path() : bundleContentsForExecutable(executable));
  }();
  return *bundle;
}

const InfoDictionary& Bundle::infoDictionary() {
  if (!info_) {
    info_ =
        contents_.empty() ? InfoDictionary() : InfoDictionary::fromFile(contents_ / "Info.plist");
  }
  return *info_;
}

std::shared_ptr<BundleImage> Bundle::imageNamed(std::string_view name) const {
  // A name is a file name in Resources, never a path that could lead out of the bundle.
  if (contents_.empty() || name.empty() || name == "." || name == ".." ||
      name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
    return nullptr;
  }
  const auto resources = contents_ / "Resources";
  const std::string base(name);
  auto path = resources / (base + ".png");
  if (!isRegularFile(path)) return nullptr;
  auto path2x = resources / (base + "@2x.png");
  if (!isRegularFile(path2x)) path2x.clear();
  return std::make_shared<BundleImage>(std::move(path), std::move(path2x));
}

}  // namespace appkit

namespace platform {

std::shared_ptr<Image> imageNamed(const std::string& name) {
  return appkit::Bundle::main().imageNamed(name);
}

std::optional<float> infoDictionaryFloatValue(const std::string& key) {
  return appkit::Bundle::main().infoDictionary().floatValue(key);
}

}  // namespace platform
