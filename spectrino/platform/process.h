// Facts about the running program.
#pragma once

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

}  // namespace spectrino::platform
