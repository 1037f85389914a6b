#include "xdg/user_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

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

// Whether entry is a name replaceFile gives the temporary file of name: "." + name + "." and six of
// mkstemp's letters (ASCII letters and digits).
bool temporaryName(std::string_view entry, std::string_view name) {
  if (entry.size() != name.size() + 8 || entry.front() != '.' ||
      entry.substr(1, name.size()) != name || entry[name.size() + 1] != '.') {
    return false;
  }
  for (const char c : entry.substr(name.size() + 2)) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

bool sameFile(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Removes the temporary files of name that a writer killed before its rename left in the folder
// (folderFd): each a name read from the folder, of replaceFile's pattern, checked without following
// it (a regular file of the effective user), and removed as found there, with unlinkat, only once
// it is locked: a writer holds its own temporary file locked from its making to its rename, so that
// a file being written, here or by another process, is never taken for a leftover.
void removeLeftovers(int folderFd, std::string_view name) {
  const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* const folder = listFd < 0 ? nullptr : ::fdopendir(listFd);
  if (folder == nullptr) {
    if (listFd >= 0) ::close(listFd);
    return;
  }
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(folder)) {
    if (temporaryName(entry->d_name, name)) found.emplace_back(entry->d_name);
  }
  ::closedir(folder);
  for (const std::string& leftover : found) {
    struct stat seen {};
    if (::fstatat(folderFd, leftover.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(seen.st_mode) || seen.st_uid != ::geteuid()) {
      continue;
    }
    int fd = ::openat(folderFd, leftover.c_str(),
                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    // Left by a writer that gave it the permissions of a file its owner may not read: readable
    // again, to be locked (never through a link).
    if (fd < 0 && errno == EACCES &&
        ::fchmodat(folderFd, leftover.c_str(), S_IRUSR | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0) {
      fd = ::openat(folderFd, leftover.c_str(),
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0) continue;
    struct stat opened {};
    struct stat again {};
    if (::fstat(fd, &opened) == 0 && sameFile(opened, seen) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folderFd, leftover.c_str(), &again, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(again, opened)) {
      ::unlinkat(folderFd, leftover.c_str(), 0);
    }
    ::close(fd);
  }
}

// Makes the temporary file for path, "<folder>/.<name>.XXXXXX", locked (see removeLeftovers):
// its descriptor, and its path in temporary; -1 with errno set when it cannot be made.
int makeTemporary(const std::string& path, std::string& temporary) {
  const std::size_t slash = path.find_last_of('/');
  for (int attempt = 0; attempt < 8; ++attempt) {
    temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    // Locked, or on a file system without locks; and not removed by another writer's sweep
    // between its making and its locking (which then made it unlinked, or holds it locked).
    struct stat status {};
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
    if (locked && ::fstat(fd, &status) == 0 && status.st_nlink > 0) return fd;
    ::close(fd);
  }
  errno = EAGAIN;
  return -1;
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
  // A folder the user may write in but not read is written in all the same, without the sweep.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) removeLeftovers(folderFd, path.substr(path.find_last_of('/') + 1));

  // Hidden, and without the name's ending, so that no reader of the folder takes it for a file
  // of its own (a session reads only *.desktop in its autostart folder).
  std::string temporary;
  const int fd = makeTemporary(path, temporary);
  if (fd < 0) {
    problem = systemError(folder, errno);
    if (folderFd >= 0) ::close(folderFd);
    return false;
  }
  // The user's permissions, but never a file its owner cannot read and write back.
  struct stat replaced {};
  if (::lstat(path.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
    ::fchmod(fd, (replaced.st_mode & 0777) | S_IRUSR | S_IWUSR);
  }
  bool done = writeAll(fd, text) && ::fsync(fd) == 0;
  int error = errno;
  // Renamed while still locked, so that no other writer's sweep takes it for a leftover; the data
  // is on the disk already, so that closing it afterwards cannot fail the change.
  if (done && ::rename(temporary.c_str(), path.c_str()) != 0) {
    done = false;
    error = errno;
  }
  if (!done) ::unlink(temporary.c_str());
  ::close(fd);
  if (folderFd >= 0) {
    // The rename itself reaches the disk with the folder.
    if (done) ::fsync(folderFd);
    ::close(folderFd);
  }
  if (!done) problem = systemError(path, error);
  return done;
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
  if (const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      folderFd >= 0) {
    removeLeftovers(folderFd, path.substr(path.find_last_of('/') + 1));
    ::close(folderFd);
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    problem = systemError(path, errno);
    return false;
  }
  return true;
}

}  // namespace xdg
