// The about box on Win32: product name and version, copyright, the program icon, credit and
// terms, and links to the web page, a mail to the maker and the donation page.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace spectrino::win32 {

// Control identifiers; the button is IDOK.
enum AboutBoxControl : int {
    kPageControl = 200,
    kProductImage = 201,
    kNameVersionLabel = 202,
    kCopyrightLabel = 203,
    kCreditLabel = 204,
    kTermsLabel = 205,
    kDonationLabel = 206,
    kPaypalImage = 207,
};

struct AboutBoxHooks {
    // Opens a link. Default: the shell's "open" verb (ShellExecuteW); failures are ignored.
    std::function<void(const std::wstring& link)> OpenLink;
    // The user's default language identifier. Default: GetUserDefaultLangID.
    std::function<uint16_t()> UserLanguage;
    // Called once the box runs (tests drive it from here).
    std::function<void(HWND dialog)> Shown;
};

// Runs the about box modally; its texts come from the version strings read at start. The icon
// is the resource "MAINICON" of the program file.
void RunAboutBox(HWND owner, const AboutBoxHooks& hooks = {});

}  // namespace spectrino::win32
