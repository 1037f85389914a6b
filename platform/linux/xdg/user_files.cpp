#include "xdg/user_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace xdg {

namespace {

std::string systemError(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

bool absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Whether path names a file by its absolute path: the folder it is in, or "" with why in problem.
std::string folderOf(const std::string& path, std::string& problem) {
  if (path.size() < 2 || path.front() != '/' || path.back() == '/') {
    problem = "\"" + path + "\" is not the absolute path of a file";
    return "";
  }
  const std::size_t slash = path.find_last_of('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the folder that status describes is one the effective user may keep files in.
bool theUsersFolder(const std::string& folder, const struct stat& status, std::string& problem) {
  if (!S_ISDIR(status.st_mode)) {
    problem = folder + " is not a folder";
    return false;
  }
  if (status.st_uid != ::geteuid()) {
    problem = folder + " is owned by another user";
    return false;
  }
  return true;
}

// Makes folder and each one it is in that is missing (0700): whether folder is then the user's.
// A symbolic link to a folder on the way is followed (a configuration folder kept elsewhere).
bool makeFolders(const std::string& folder, std::string& problem) {
  struct stat status {};
  for (std::size_t end = 1; end <= folder.size(); ++end) {
    if (end < folder.size() && folder[end] != '/') continue;
    const std::string part = folder.substr(0, end);
    if (::stat(part.c_str(), &status) != 0) {
      if (errno != ENOENT || ((::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) ||
                              ::stat(part.c_str(), &status) != 0)) {
        problem = systemError(part, errno);
        return false;
      }
    }
    if (!S_ISDIR(status.st_mode)) {
      problem = part + " is not a folder";
      return false;
    }
  }
  return theUsersFolder(folder, status, problem);
}

bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

std::string userConfigFolder(const char* xdgConfigHome, const char* home) {
  if (absolute(xdgConfigHome)) return withoutTrailingSlashes(xdgConfigHome);
  if (!absolute(home)) return "";
  const std::string folder = withoutTrailingSlashes(home);
  return (folder == "/" ? "" : folder) + "/.config";
}

std::string userConfigFolder() {
  return userConfigFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

bool replaceFile(const std::string& path, std::string_view text, std::string& problem) {
  const std::string folder = folderOf(path, problem);
  if (folder.empty() || !makeFolders(folder, problem)) return false;

  // Hidden, and without the name's ending, so that no reader of the folder takes it for a file
  // of its own (a session reads only *.desktop in its autostart folder).
  const std::size_t slash = path.find_last_of('/');
  std::string temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    problem = systemError(folder, errno);
    return false;
  }
  // The user's permissions, but never a file its owner cannot read and write back.
  struct stat replaced {};
  if (::lstat(path.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
    ::fchmod(fd, (replaced.st_mode & 0777) | S_IRUSR | S_IWUSR);
  }
  bool done = writeAll(fd, text) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && done) {
    done = false;
    error = errno;
  }
  if (done && ::rename(temporary.c_str(), path.c_str()) != 0) {
    done = false;
    error = errno;
  }
  if (!done) {
    ::unlink(temporary.c_str());
    problem = systemError(path, error);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

bool removeFile(const std::string& path, std::string& problem) {
  const std::string folder = folderOf(path, problem);
  if (folder.empty()) return false;
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    problem = systemError(folder, errno);
    return false;
  }
  if (!theUsersFolder(folder, status, problem)) return false;
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    problem = systemError(path, errno);
    return false;
  }
  return true;
}

}  // namespace xdg
