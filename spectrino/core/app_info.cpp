#include "core/app_info.h"

#include "platform/process.h"

namespace spectrino {

std::string AppVersion;
std::string AppProductName;
std::string AppCompanyName;
std::string AppFileDescription;
std::string AppEmail;
std::string AppWebsite;
std::string AppCopyright;

void LoadAppInfo() {
    // The program's own file, found through the system rather than the zeroth argument, which
    // holds a bare name when the program was started from the search path.
    SetAppInfo(ReadProgramVersion(platform::ProgramFilePath()));
}

void SetAppInfo(const TProgramVersion& version) {
    AppVersion = version.Version;
    AppProductName = version.ProductName;
    AppCompanyName = version.CompanyName;
    AppFileDescription = version.FileDescription;
    AppEmail = version.Email;
    AppWebsite = version.Website;
    AppCopyright = version.Copyright;
}

TProgramVersion CurrentAppInfo() {
    return {AppVersion, AppProductName, AppCompanyName, AppFileDescription,
            AppEmail,   AppWebsite,     AppCopyright};
}

}  // namespace spectrino
