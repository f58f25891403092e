// Hive files on disk (Linux): loading, and saving that never leaves a half-written file.
#pragma once

#if !defined(_WIN32)

#include <functional>
#include <string>
#include <string_view>

#include "platform/hive_file.h"

namespace spectrino::platform {

// Reads a hive file. A missing file is an empty, clean hive; a file that cannot be read, is not
// a regular file or is over the size limit is an empty, unreadable one.
HiveDocument LoadHiveFile(const std::string& path, std::string_view root_name);

// Creates the file's directory if needed. Then, holding an exclusive lock on that directory so
// that saves of several processes do not interleave: reloads the file, applies `change` and
// replaces the file by a new one written beside it (write, fsync, rename, fsync the directory).
// A file that did not load clean is first copied to "<path>.bad", replacing an older copy, so
// the newest damaged file is the one kept; when that copy fails the file is left untouched.
// Returns false, leaving the old file in place, when anything fails or the result would be over
// the size limit.
bool UpdateHiveFile(const std::string& path, std::string_view root_name,
                    const std::function<void(HiveDocument&)>& change);

}  // namespace spectrino::platform

#endif
