// Where shared libraries live: the two directories a server registered by a bare file name is
// looked for in, and the file a loaded module came from.
#pragma once

#include <optional>
#include <string>

namespace spectrino::platform {

// Windows: GetSystemDirectory. Elsewhere the driver directory of the prefix the program runs
// from, <prefix>/lib/spectrino/drivers (the prefix is the parent of the program's directory), or
// $SPECTRINO_SYSTEM_DIR when that is set. nullopt when it cannot be found.
std::optional<std::string> SystemDirectory();

// Windows: GetWindowsDirectory. Elsewhere the system-wide driver directory
// /usr/lib/spectrino/drivers, or $SPECTRINO_WINDOWS_DIR when that is set.
std::optional<std::string> WindowsDirectory();

// Full path of the executable or shared library that contains `address`; empty when unknown.
std::string ModuleFilePath(const void* address);

// Whether `path` names a file with a directory part ("drivers/x.so", "C:x.dll").
bool HasDirectoryPart(const std::string& path);

// Whether a regular file (or a link to one) exists at `path`.
bool RegularFileExists(const std::string& path);

}  // namespace spectrino::platform
