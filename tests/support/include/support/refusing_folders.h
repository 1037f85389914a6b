// Folders that refuse the program's writes in the ways a user's home can (another user's folder,
// a read-only one, a full disk), made so that they refuse root too: the tests run as root in CI,
// and root ignores permission bits.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

// The user nobody, owner of the folders made another user's.
inline constexpr uid_t kNobody = 65534;

inline bool runningAsRoot() {
  return ::geteuid() == 0;
}

// Makes the folder at path nobody's. Only root can: the test must check runningAsRoot first.
inline void giveToNobody(const std::filesystem::path& path) {
  if (::chown(path.c_str(), kNobody, kNobody) != 0) {
    throw std::runtime_error("cannot give " + path.string() + " to nobody");
  }
}

// While it lives, the folder at path is the process's effective user's, who cannot write in it:
// its mode is 0500, and a process running as root acts as nobody (its effective user), who is
// given the folder, so that the mode counts. The folders from top down to it are opened to
// everyone (0755), so that nobody reaches it.
class UnwritableFolder {
 public:
  UnwritableFolder(const std::filesystem::path& top, const std::filesystem::path& folder)
      : folder_(folder), actingAsNobody_(runningAsRoot()) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    for (fs::path part = folder;; part = part.parent_path()) {
      fs::permissions(part, fs::perms(0755));
      if (part == top || part == part.parent_path()) break;
    }
    fs::permissions(folder, fs::perms(0500));
    if (actingAsNobody_) {
      giveToNobody(folder);
      if (::seteuid(kNobody) != 0) throw std::runtime_error("cannot act as nobody");
    }
  }
  ~UnwritableFolder() {
    if (actingAsNobody_ && ::seteuid(0) != 0) std::terminate();
    std::filesystem::permissions(folder_, std::filesystem::perms(0700));
  }
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;

 private:
  std::filesystem::path folder_;
  bool actingAsNobody_;
};

// While it lives, no file the process writes grows past bytes: a write beyond fails with EFBIG
// (SIGXFSZ ignored), as one on a full disk fails with ENOSPC, root's as well.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &before_) != 0) throw std::runtime_error("getrlimit failed");
    rlimit limited = before_;
    limited.rlim_cur = bytes;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (::sigaction(SIGXFSZ, &ignore, &signalBefore_) != 0 ||
        ::setrlimit(RLIMIT_FSIZE, &limited) != 0) {
      throw std::runtime_error("cannot limit the size of files");
    }
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &before_);
    ::sigaction(SIGXFSZ, &signalBefore_, nullptr);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit before_{};
  struct sigaction signalBefore_ {};
};
