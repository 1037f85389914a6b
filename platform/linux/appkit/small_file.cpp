#include "appkit/small_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace appkit {

namespace {

std::string systemError(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

// Why what is at path (which could not be opened, or was not a regular file) is refused.
std::string refusal(const std::string& path, int error) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0) {
    if (S_ISLNK(status.st_mode)) return path + " is a symbolic link";
    if (!S_ISREG(status.st_mode)) return path + " is not a regular file";
  }
  return systemError(path, error);
}

}  // namespace

SmallFile readSmallFile(const std::string& path, std::size_t limit, Links links) {
  SmallFile file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                          (links == Links::refused ? O_NOFOLLOW : 0));
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      file.status = SmallFile::Status::refused;
      file.problem = refusal(path, errno);
    }
    return file;
  }
  file.status = SmallFile::Status::refused;
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    file.problem = systemError(path, errno);
  } else if (!S_ISREG(status.st_mode)) {
    file.problem = path + " is not a regular file";
  } else if (static_cast<std::size_t>(status.st_size) <= limit) {
    // One byte more than the limit tells a file that grew past it since.
    file.text.resize(limit + 1);
    std::size_t size = 0;
    ssize_t got = 1;
    while (size < file.text.size() && got != 0) {
      got = ::read(fd, file.text.data() + size, file.text.size() - size);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) break;
      size += static_cast<std::size_t>(got);
    }
    file.text.resize(size);
    if (got < 0) {
      file.problem = systemError(path, errno);
    } else if (size <= limit) {
      file.status = SmallFile::Status::read;
    }
  }
  if (file.status == SmallFile::Status::refused && file.problem.empty()) {
    file.problem = path + " is larger than " + std::to_string(limit) + " bytes";
  }
  if (file.status == SmallFile::Status::refused) file.text.clear();
  ::close(fd);
  return file;
}

}  // namespace appkit
