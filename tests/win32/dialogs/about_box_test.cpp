// The Win32 about box driven by messages: texts from the version strings, the icon, and links
// handed to the opener.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_info.h"
#include "dialog_test_support.h"
#include "ui/win32/dialogs/about_box.h"

namespace spectrino::win32 {
namespace {

// Sets the version strings the way the program's start does and puts them back afterwards.
class AppStrings {
public:
    AppStrings(std::string product, std::string version, std::string copyright, std::string email,
               std::string website)
        : saved_(CurrentAppInfo()) {
        TProgramVersion strings = saved_;
        strings.ProductName = std::move(product);
        strings.Version = std::move(version);
        strings.Copyright = std::move(copyright);
        strings.Email = std::move(email);
        strings.Website = std::move(website);
        SetAppInfo(strings);
    }
    ~AppStrings() { SetAppInfo(saved_); }

private:
    TProgramVersion saved_;
};

void Press(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

LOGFONTW Font(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    return font;
}

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) {
        return {};
    }
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor != nullptr) {
        DeleteObject(info.hbmColor);
    }
    DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, bitmap.bmHeight};
}

TEST(Win32AboutBox, ShowsTheVersionStringsAndOpensItsLinks) {
    const AppStrings strings("Spectrino Pro & Co", "2.3.4 (5)", "(C) Someone", "a@example.org",
                             "https://example.org/");
    std::vector<std::wstring> opened;
    AboutBoxHooks hooks;
    hooks.OpenLink = [&](const std::wstring& link) { opened.push_back(link); };
    hooks.UserLanguage = [] { return uint16_t{0x0C07}; };  // German (Austria)
    hooks.Shown = [](HWND dialog) {
        Watchdog(dialog);
        EXPECT_EQ(Text(dialog), L"About...");
        RECT client{};
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, 465);
        EXPECT_EQ(client.bottom, 358);
        HWND tabs = GetDlgItem(dialog, kPageControl);
        ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 1);
        wchar_t tab[32] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = tab;
        item.cchTextMax = 32;
        SendMessageW(tabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(std::wstring(tab), L"... Spectrino");

        EXPECT_EQ(Text(GetDlgItem(dialog, kNameVersionLabel)), L"Spectrino Pro & Co v2.3.4 (5)");
        EXPECT_EQ(Text(GetDlgItem(dialog, kCopyrightLabel)), L"(C) Someone");
        EXPECT_FALSE(Text(GetDlgItem(dialog, kTermsLabel)).empty());
        const LOGFONTW name = Font(GetDlgItem(dialog, kNameVersionLabel));
        EXPECT_EQ(name.lfHeight, -21);
        EXPECT_EQ(std::wstring(name.lfFaceName), L"MS Shell Dlg 2");
        const LOGFONTW copyright = Font(GetDlgItem(dialog, kCopyrightLabel));
        EXPECT_EQ(copyright.lfHeight, -13);
        EXPECT_EQ(copyright.lfWeight, FW_BOLD);
        EXPECT_EQ(Font(GetDlgItem(dialog, IDOK)).lfHeight, -11);
        const auto icon = reinterpret_cast<HICON>(
            SendMessageW(GetDlgItem(dialog, kProductImage), STM_GETICON, 0, 0));
        ASSERT_NE(icon, nullptr);
        const SIZE size = IconSize(icon);
        EXPECT_EQ(size.cx, 48);
        EXPECT_EQ(size.cy, 48);

        // The links show the hand; other controls keep the dialog's cursor.
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // the arrow
        SendMessageW(dialog, WM_SETCURSOR,
                     reinterpret_cast<WPARAM>(GetDlgItem(dialog, kCopyrightLabel)),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));

        Press(dialog, kNameVersionLabel);
        Press(dialog, kProductImage);
        Press(dialog, kCopyrightLabel);
        Press(dialog, kPaypalImage);
        Press(dialog, kTermsLabel);  // not a link
        Click(dialog, IDOK);
    };
    RunAboutBox(nullptr, hooks);

    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[0], L"https://example.org/");
    EXPECT_EQ(opened[1], L"https://example.org/");
    EXPECT_EQ(opened[2], L"mailto:a@example.org?subject=Spectrino%20Pro%20%26%20Co");
    EXPECT_EQ(opened[3],
              L"https://spectrino.example.org/donate?item_name=Spectrino%20Pro%20%26%20Co&lang=de");
}

TEST(Win32AboutBox, EmptyLinksOpenNothingAndEnglishUsersGetTheEnglishPage) {
    const AppStrings strings("Spectrino", "1.0.0 (1)", "", "", "");
    std::vector<std::wstring> opened;
    AboutBoxHooks hooks;
    hooks.OpenLink = [&](const std::wstring& link) { opened.push_back(link); };
    hooks.UserLanguage = [] { return uint16_t{0x0409}; };
    hooks.Shown = [](HWND dialog) {
        Watchdog(dialog);
        Press(dialog, kNameVersionLabel);
        Press(dialog, kProductImage);
        Press(dialog, kPaypalImage);
        SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    };
    RunAboutBox(nullptr, hooks);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], L"https://spectrino.example.org/donate?item_name=Spectrino&lang=en");
}

}  // namespace
}  // namespace spectrino::win32
