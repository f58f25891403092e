// What the about box shows and where its links lead, apart from any window system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/app_info.h"

namespace spectrino {

inline constexpr char kAboutCaption[] = "About...";
inline constexpr char kAboutTabCaption[] = "... Spectrino";
inline constexpr char kTermsText[] =
    "This program is free to use. It comes without any warranty; you use it at your own risk.";
inline constexpr char kDonationText[] =
    "If Spectrino is useful to you, you can support its development. The donation page is a "
    "placeholder of this project and takes no payments yet.";
inline constexpr char kDonationButtonText[] = "Donate";

// The credit line naming the toolkit the window is built with ("the Qt toolkit").
std::string CreditText(std::string_view toolkit);

// The program file's version strings the box is made of.
struct TAboutStrings {
    std::string ProductName;
    std::string Version;
    std::string Copyright;
    std::string Email;
    std::string Website;
};

// The version strings read at start by LoadAppInfo (inline: only programs that link the
// analyzer have them).
inline TAboutStrings AppAboutStrings() {
    return {AppProductName, AppVersion, AppCopyright, AppEmail, AppWebsite};
}

// The texts and link targets of one showing of the box.
struct TAboutTexts {
    std::string NameVersion;  // "Spectrino v1.0.1 (51)"
    std::string Copyright;
    std::string MailLink;      // opened by the copyright line
    std::string WebLink;       // opened by the name line and the icon
    std::string DonationLink;  // opened by the donation button

    bool operator==(const TAboutTexts&) const = default;
};

TAboutTexts MakeAboutTexts(const TAboutStrings& strings, bool german);

// The donation page for a product, in German or English.
std::string DonationLink(std::string_view productName, bool german);

// German when the primary language of a Windows language identifier is German (7).
bool IsGermanLanguageId(uint16_t languageId);
// German when a locale name ("de", "de_AT", "de-CH.UTF-8") names the German language.
bool IsGermanLocaleName(std::string_view name);

}  // namespace spectrino
