// Facts about the running program.
#pragma once

#include <optional>
#include <string>

namespace spectrino::platform {

#if defined(_WIN32)
inline constexpr char kPathDelimiter = '\\';
#else
inline constexpr char kPathDelimiter = '/';
#endif

// Full path of the program's own executable file; empty when it cannot be found.
std::string ProgramFilePath();
// The current working directory; empty when it cannot be found.
std::string CurrentDirectory();
// Seconds since the operating system created this process (before the program's own code ran);
// empty when the system does not say. Resolution: one clock tick (10 ms on Linux).
std::optional<double> SecondsSinceProcessStart();

}  // namespace spectrino::platform
