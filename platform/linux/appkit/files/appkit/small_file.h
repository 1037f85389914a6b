// A small file read whole, with a size limit and without ever waiting: the bundle's Info.plist,
// and the user's own files (the settings, the autostart entry).
#pragma once

#include <cstddef>
#include <string>

namespace appkit {

struct SmallFile {
  enum class Status : unsigned char {
    absent,   // nothing at the name (or a folder on the way is missing or not a folder)
    read,     // text holds the file's bytes
    refused,  // something is at the name, but not a regular file of at most the limit we may read
  };
  Status status = Status::absent;
  std::string text;
  std::string problem;  // refused: why, naming the file ("... is a symbolic link")
};

// Whether a symbolic link at the file's name is followed: a bundle's files may be links into a
// package's folders, while the user's files are never read or written through one.
enum class Links : unsigned char { refused, followed };

// Reads the regular file at path, at most limit bytes of it. Opened without waiting (a FIFO or a
// device opens at once, and is refused unread), and without following a symbolic link at the name
// unless links says so; refused is such a link, anything that is not a regular file, a file larger
// than limit (told by its size, and by reading at most limit + 1 bytes, should it grow meanwhile)
// and one that cannot be opened or read (the system's error text).
SmallFile readSmallFile(const std::string& path, std::size_t limit, Links links = Links::refused);

}  // namespace appkit
