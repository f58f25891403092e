// The program's one command-line switch.
#pragma once

#include <string>
#include <vector>

namespace spectrino {

// Hides every ASIO device; set once at start from the command line.
extern bool NoASIO;

// True when an argument equals "/NOASIO" in any letter case (ASCII).
bool HasNoAsioSwitch(const std::vector<std::string>& arguments);

}  // namespace spectrino
