// Hive files on disk (Linux): loading, and saving that never leaves a half-written file.
#pragma once

#if !defined(_WIN32)

#include <functional>
#include <string>
#include <string_view>

#include "platform/hive_file.h"

namespace spectrino::platform {

// How many copies of damaged files are kept beside a hive: "<path>.bad" (the newest),
// "<path>.bad.1", ... up to "<path>.bad.<kKeptBadCopies - 1>" (the oldest).
inline constexpr int kKeptBadCopies = 3;

// The name of the copy of that generation (0 is the newest).
std::string BadCopyPath(const std::string& path, int generation);

// Reads a hive file. A missing file is an empty, clean hive; a file that cannot be read, is not
// a regular file or is over the size limit is an empty, unreadable one.
HiveDocument LoadHiveFile(const std::string& path, std::string_view root_name);

// Creates the file's directory if needed and tells whether a save could replace the file: the
// directory that receives it (for a symbolic link, the directory of the file it points to) must
// be writable. When not, writes a debug line naming the file and the reason.
bool CanSaveHiveFile(const std::string& path);

// Creates the file's directory if needed. Then, holding an exclusive lock on the directory that
// receives the file so that saves of several processes do not interleave: reloads the file,
// applies `change` and replaces the file by a new one written beside it (write, fsync, rename,
// fsync the directory). A symbolic link is followed and the file it points to is replaced, so
// the link stays; the new file keeps the old one's permissions and, where allowed, its owner.
// A file that did not load clean is first copied to "<path>.bad", the older copies moving one
// generation down and the oldest dropped; when that copy fails the file is left untouched.
// Returns false, leaving the old file in place and writing a debug line that names it, when
// anything fails or the result would be over the size limit.
bool UpdateHiveFile(const std::string& path, std::string_view root_name,
                    const std::function<void(HiveDocument&)>& change);

}  // namespace spectrino::platform

#endif
