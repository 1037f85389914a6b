// Folders that refuse the program's writes as a user's home can (another user's folder, a
// read-only one, a full disk), made so that they refuse root too, who ignores permission bits: the
// tests run as root in CI.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <stdexcept>

inline bool runningAsRoot() {
  return ::geteuid() == 0;
}

// Gives the folder at path to the user nobody (65534). Only root can.
inline void giveToNobody(const std::filesystem::path& path) {
  if (::chown(path.c_str(), 65534, 65534) != 0) throw std::runtime_error("cannot chown");
}

// While it lives, the folder at path (below top) is the effective user's, who cannot write in it:
// its mode is 0500, and root acts as nobody (seteuid), whose folder it becomes. The folders from
// top down to it are opened to everyone, so that nobody reaches it.
class UnwritableFolder {
 public:
  UnwritableFolder(const std::filesystem::path& top, const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    for (fs::path part = folder; part.has_relative_path() && part != top.parent_path();
         part = part.parent_path()) {
      fs::permissions(part, fs::perms(0755));
    }
    fs::permissions(folder, fs::perms(0500));
    if (runningAsRoot()) giveToNobody(folder);
    if (runningAsRoot() && ::seteuid(65534) != 0) throw std::runtime_error("cannot seteuid");
  }
  ~UnwritableFolder() {
    if (::getuid() == 0 && ::seteuid(0) != 0) std::terminate();
  }
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;
};

// While it lives, no file the process writes grows past bytes: a write beyond fails with EFBIG
// (SIGXFSZ ignored), as one on a full disk fails with ENOSPC.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &before_);
    const rlimit limited{bytes, before_.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) throw std::runtime_error("cannot setrlimit");
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &before_);
    ::signal(SIGXFSZ, SIG_DFL);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit before_{};
};
