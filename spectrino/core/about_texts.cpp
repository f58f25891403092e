#include "core/about_texts.h"

#include "core/uURLEncode.h"

namespace spectrino {
namespace {

constexpr char kDonationPrefix[] = "https://spectrino.example.org/donate?item_name=";
constexpr char kDonationSuffixGerman[] = "&lang=de";
constexpr char kDonationSuffixEnglish[] = "&lang=en";
constexpr uint16_t kLangGerman = 7;

}  // namespace

std::string CreditText(std::string_view toolkit) {
    return "Each of the 128 bands is measured by its own Goertzel filter. The user interface is "
           "built with " +
           std::string(toolkit) + ".";
}

std::string DonationLink(std::string_view productName, bool german) {
    return kDonationPrefix + URLEncode(productName) +
           (german ? kDonationSuffixGerman : kDonationSuffixEnglish);
}

TAboutTexts MakeAboutTexts(const TAboutStrings& strings, bool german) {
    TAboutTexts texts;
    texts.NameVersion = strings.ProductName + " v" + strings.Version;
    texts.Copyright = strings.Copyright;
    texts.MailLink = "mailto:" + strings.Email + "?subject=" + URLEncode(strings.ProductName);
    texts.WebLink = strings.Website;
    texts.DonationLink = DonationLink(strings.ProductName, german);
    return texts;
}

bool IsGermanLanguageId(uint16_t languageId) {
    return (languageId & 0x3FF) == kLangGerman;
}

bool IsGermanLocaleName(std::string_view name) {
    if (name.size() < 2 || (name[0] != 'd' && name[0] != 'D') ||
        (name[1] != 'e' && name[1] != 'E')) {
        return false;
    }
    return name.size() == 2 || name[2] == '_' || name[2] == '-' || name[2] == '.' || name[2] == '@';
}

}  // namespace spectrino
