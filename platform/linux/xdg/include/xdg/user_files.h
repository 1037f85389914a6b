// The small files the program keeps in the user's configuration folder (its settings, the entry
// that starts it at login): read with a size limit and without ever waiting, written whole or not
// at all, and never through a symbolic link at the file's name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace xdg {

// The user's configuration folder, from the values of XDG_CONFIG_HOME and HOME (either may be
// null): XDG_CONFIG_HOME when it is an absolute path, else HOME's ".config" when HOME is one, else
// "" (a relative path in either counts as unset). Trailing slashes are dropped.
std::string userConfigFolder(const char* xdgConfigHome, const char* home);
// The same, from this process's environment.
std::string userConfigFolder();

// Why nothing can be kept when userConfigFolder is "".
inline constexpr char kUnknownConfigFolder[] =
    "the configuration folder is unknown: neither XDG_CONFIG_HOME nor HOME is an absolute path";

// Replaces the file at path (an absolute path) with text, atomically: text goes into a new file
// of a unique name in the same folder, is written whole and synced to the disk, and is then
// renamed over path, so that a reader sees the old file or the new one, never part of either, and
// of two writers at once the last one wins. A symbolic link at path is replaced, never written
// through. The new file keeps the permissions of the regular file it replaces, but always those of
// its owner to read and write it (a file of mode 000 becomes 0600), and is private to the user
// (0600) otherwise. The temporary files of path that a writer killed before its rename left in the
// folder (".<name>.XXXXXX", of mkstemp's letters) are removed first: only regular files of the
// effective user, found by reading the folder and never followed through a link, and never one
// that a writer, of this process or another, is writing (each holds its own locked with flock
// until its rename). The folder, and those it is in, are made when missing (0700, as "mkdir -p"
// would). Refused, changing nothing and leaving no temporary file behind, when the
// folder is not a folder, belongs to another user than the effective one, or cannot be written
// (read-only, full, over quota, not permitted): false, with why in problem ("/home/u/.config/
// autostart is not a folder", ".../autostart is owned by another user", ".../autostart: Read-only
// file system" when the new file cannot be made, ".../autostart/x.desktop: No space left on
// device" when it cannot be written whole).
bool replaceFile(const std::string& path, std::string_view text, std::string& problem);

// Removes whatever is at path but a folder (a symbolic link is removed itself, not what it points
// to), and the temporary files of path left behind, as replaceFile does. Nothing at path, or no
// folder, is success. Refused, as replaceFile is, when the folder is
// not a folder or is another user's, or when the file cannot be removed: false, with why in
// problem.
bool removeFile(const std::string& path, std::string& problem);

}  // namespace xdg
