// Strings of the program file's version block, read once at start (LoadAppInfo).
#pragma once

#include <string>

#include "core/VersionInfo.h"

namespace spectrino {

extern std::string AppVersion;
extern std::string AppProductName;
extern std::string AppCompanyName;
extern std::string AppFileDescription;
extern std::string AppEmail;
extern std::string AppWebsite;
extern std::string AppCopyright;

// Fills the strings from the running program's own file.
void LoadAppInfo();
// Sets every string from a version block, and reads them back as one.
void SetAppInfo(const TProgramVersion& version);
TProgramVersion CurrentAppInfo();

}  // namespace spectrino
