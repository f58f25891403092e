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

// The file an in-process server registered as `registered` is loaded from, as far as it could
// be resolved (empty stays empty): a bare file name in SystemDirectory() when it lies there,
// else in WindowsDirectory(). Windows takes a path with a directory part as it stands.
// Elsewhere only an absolute path does; a relative one is looked up like a bare name, so
// neither the working directory nor the loader's search path ever supplies a driver.
std::string ResolveServerFile(const std::string& registered);

// Whether a regular file (or a link to one) exists at `path`.
bool RegularFileExists(const std::string& path);

}  // namespace spectrino::platform
