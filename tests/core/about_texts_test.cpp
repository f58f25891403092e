// The about box's texts and links, and the percent-encoder behind them.
#include <gtest/gtest.h>

#include <string>

#include "core/about_texts.h"
#include "core/uURLEncode.h"

namespace spectrino {
namespace {

TEST(URLEncode, KeepsOnlyUnreservedBytes) {
    EXPECT_EQ(URLEncode("Spectrino"), "Spectrino");
    EXPECT_EQ(URLEncode("a b"), "a%20b");
    EXPECT_EQ(URLEncode("x&y"), "x%26y");
    EXPECT_EQ(URLEncode("AZaz09-._"), "AZaz09-._");
    EXPECT_EQ(URLEncode("~+/?=%"), "%7E%2B%2F%3F%3D%25");
    EXPECT_EQ(URLEncode("\xC3\xA4"), "%C3%A4");
    EXPECT_EQ(URLEncode(std::string("\0\xFF", 2)), "%00%FF");
    EXPECT_EQ(URLEncode(""), "");
}

TEST(AboutTexts, NameVersionAndLinksComeFromTheVersionStrings) {
    const TAboutStrings strings{"Spectrino Pro & Co", "1.0.1 (51)", "(C) Someone", "a@example.org",
                                "https://example.org/"};
    const TAboutTexts english = MakeAboutTexts(strings, false);
    EXPECT_EQ(english.NameVersion, "Spectrino Pro & Co v1.0.1 (51)");
    EXPECT_EQ(english.Copyright, "(C) Someone");
    EXPECT_EQ(english.MailLink, "mailto:a@example.org?subject=Spectrino%20Pro%20%26%20Co");
    EXPECT_EQ(english.WebLink, "https://example.org/");
    EXPECT_EQ(english.DonationLink, DonationLink(strings.ProductName, false));
    EXPECT_NE(english.DonationLink.find("item_name=Spectrino%20Pro%20%26%20Co"), std::string::npos);

    const TAboutTexts german = MakeAboutTexts(strings, true);
    EXPECT_NE(german.DonationLink, english.DonationLink);
    EXPECT_EQ(german.DonationLink, DonationLink(strings.ProductName, true));
    EXPECT_EQ(german.MailLink, english.MailLink);

    // Missing version strings leave the texts empty; the links keep their fixed parts.
    const TAboutTexts empty = MakeAboutTexts({}, false);
    EXPECT_EQ(empty.NameVersion, " v");
    EXPECT_EQ(empty.Copyright, "");
    EXPECT_EQ(empty.WebLink, "");
    EXPECT_EQ(empty.MailLink, "mailto:?subject=");
}

TEST(AboutTexts, GermanIsDecidedByThePrimaryLanguage) {
    EXPECT_TRUE(IsGermanLanguageId(0x0407));   // German (Germany)
    EXPECT_TRUE(IsGermanLanguageId(0x0C07));   // German (Austria)
    EXPECT_TRUE(IsGermanLanguageId(0x0807));   // German (Switzerland)
    EXPECT_FALSE(IsGermanLanguageId(0x0409));  // English (United States)
    EXPECT_FALSE(IsGermanLanguageId(0x0413));  // Dutch
    EXPECT_FALSE(IsGermanLanguageId(0x0000));
    EXPECT_FALSE(IsGermanLanguageId(0x0107));  // sublanguage bits alone are not German

    EXPECT_TRUE(IsGermanLocaleName("de"));
    EXPECT_TRUE(IsGermanLocaleName("de_DE"));
    EXPECT_TRUE(IsGermanLocaleName("de-AT"));
    EXPECT_TRUE(IsGermanLocaleName("de_CH.UTF-8"));
    EXPECT_FALSE(IsGermanLocaleName("C"));
    EXPECT_FALSE(IsGermanLocaleName("en_US"));
    EXPECT_FALSE(IsGermanLocaleName("dsb_DE"));  // Lower Sorbian, spoken in Germany
    EXPECT_FALSE(IsGermanLocaleName("del_US"));  // Delaware
    EXPECT_FALSE(IsGermanLocaleName("d"));
    EXPECT_FALSE(IsGermanLocaleName(""));
}

}  // namespace
}  // namespace spectrino
