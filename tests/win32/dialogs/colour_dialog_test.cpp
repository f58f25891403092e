// The Win32 colour dialog driven by messages: what it shows, OK with its order check, Reset,
// Cancel, the chooser behind each swatch, and failures that stay inside the dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "framework/exception_handler.h"
#include "ui/win32/dialogs/colour_button.h"
#include "ui/win32/dialogs/colour_dialog.h"

namespace spectrino::win32 {
namespace {

struct ShownError {
    HWND owner;
    std::wstring text;
    std::wstring caption;
};

ColourButton& Swatch(HWND dialog, int id) {
    ColourButton* button = ColourButton::FromHandle(GetDlgItem(dialog, id));
    if (button == nullptr) {
        throw std::runtime_error("no colour button");
    }
    return *button;
}

std::wstring ListText(HWND dialog, int id) {
    HWND list = GetDlgItem(dialog, id);
    const LRESULT item = SendMessageW(list, CB_GETCURSEL, 0, 0);
    wchar_t text[32] = {};
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text));
    return text;
}

void Select(HWND dialog, int id, int item) {
    SendMessageW(GetDlgItem(dialog, id), CB_SETCURSEL, static_cast<WPARAM>(item), 0);
}

// Hooks that record error boxes and run `drive` inside the dialog.
struct Driver {
    template <typename Drive>
    explicit Driver(Drive drive) {
        hooks.ShowError = [this](HWND owner, const std::wstring& text,
                                 const std::wstring& caption) {
            errors.push_back({owner, text, caption});
        };
        hooks.ChooseColour = [](HWND, TColor&) {
            ADD_FAILURE() << "unexpected colour chooser";
            return false;
        };
        hooks.Shown = [drive](HWND dialog) {
            Watchdog(dialog);
            drive(dialog);
        };
    }
    ColourDialogHooks hooks;
    std::vector<ShownError> errors;
};

TEST(Win32ColourDialog, ShowsTheSettingsAndOkStoresWhatTheListsShow) {
    TColourSettings settings{0x112233, 0x445566, 0x778899, -30, -21};
    Driver driver([](HWND dialog) {
        EXPECT_EQ(Text(dialog), L"Analyzer Color Settings");
        RECT place{};
        GetWindowRect(dialog, &place);
        EXPECT_EQ(place.left, 716);
        EXPECT_EQ(place.top, 266);
        EXPECT_EQ(place.right - place.left, 216);
        EXPECT_EQ(place.bottom - place.top, 203);
        EXPECT_EQ(Text(GetDlgItem(dialog, kGroupBox)), L"Bar Colors");
        EXPECT_EQ(Text(GetDlgItem(dialog, kResetButton)), L"Reset");
        LOGFONTW font{};
        GetObjectW(
            reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(dialog, kMidSwatch), WM_GETFONT, 0, 0)),
            sizeof(font), &font);
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
        ReleaseDC(nullptr, screen);
        EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Shell Dlg 2");
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, kHighList), CB_GETCOUNT, 0, 0), 10);
        EXPECT_EQ(SendMessageW(GetDlgItem(dialog, kMidList), CB_GETCOUNT, 0, 0), 19);

        EXPECT_EQ(Swatch(dialog, kHighSwatch).BackColor(), 0x112233u);
        EXPECT_EQ(Swatch(dialog, kMidSwatch).HoverColor(), 0x445566u);
        EXPECT_EQ(Swatch(dialog, kLowSwatch).ForeColor(), 0x778899u);
        EXPECT_EQ(ListText(dialog, kHighList), L"-20 db");  // -30 is off the list
        EXPECT_EQ(ListText(dialog, kMidList), L"-20 db");   // -21 truncates to -20
        Click(dialog, IDOK);
    });
    EXPECT_TRUE(RunColourDialog(nullptr, settings, driver.hooks));
    EXPECT_EQ(settings, (TColourSettings{0x112233, 0x445566, 0x778899, -20, -20}));
    EXPECT_TRUE(driver.errors.empty());
}

TEST(Win32ColourDialog, OverlapKeepsTheDialogOpenAndResetThenCancelChangesNothing) {
    const TColourSettings before{0x112233, 0x445566, 0x778899, -6, -30};
    TColourSettings settings = before;
    HWND shown = nullptr;
    Driver* self = nullptr;
    Driver driver([&](HWND dialog) {
        shown = dialog;
        Select(dialog, kHighList, 5);  // -12 db
        Select(dialog, kMidList, 3);   // -10 db
        Click(dialog, IDOK);
        ASSERT_EQ(self->errors.size(), 1u);
        EXPECT_EQ(self->errors[0].owner, dialog);
        EXPECT_EQ(self->errors[0].text, L"Overlapping Threshold!");
        EXPECT_EQ(self->errors[0].caption, L"Analyzer");
        EXPECT_TRUE(IsWindowVisible(dialog));

        Click(dialog, kResetButton);
        EXPECT_EQ(Swatch(dialog, kHighSwatch).BackColor(), 0x0000FFu);
        EXPECT_EQ(Swatch(dialog, kMidSwatch).BackColor(), 0x00FFFFu);
        EXPECT_EQ(Swatch(dialog, kLowSwatch).HoverColor(), 0xC0C000u);
        EXPECT_EQ(ListText(dialog, kHighList), L"-10 db");
        EXPECT_EQ(ListText(dialog, kMidList), L"-20 db");
        Click(dialog, IDCANCEL);
    });
    self = &driver;
    EXPECT_FALSE(RunColourDialog(nullptr, settings, driver.hooks));
    EXPECT_NE(shown, nullptr);
    EXPECT_EQ(settings, before);

    // The close box cancels as well; equal thresholds are accepted on the next run.
    Driver closing([](HWND dialog) { SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_FALSE(RunColourDialog(nullptr, settings, closing.hooks));
    Driver equal([](HWND dialog) {
        Select(dialog, kHighList, 4);  // -10 db
        Select(dialog, kMidList, 3);   // -10 db
        Click(dialog, IDOK);
    });
    EXPECT_TRUE(RunColourDialog(nullptr, settings, equal.hooks));
    EXPECT_EQ(settings.HighTresh, -10);
    EXPECT_EQ(settings.MidTresh, -10);
    EXPECT_TRUE(equal.errors.empty());
}

TEST(Win32ColourDialog, SwatchClickPresetsTheChooserAndTakesAConfirmedColour) {
    TColourSettings settings{0x0000FF, 0x00FFFF, 0xC0C000, -10, -20};
    std::vector<TColor> presets;
    bool confirm = true;
    Driver driver([](HWND dialog) {
        Click(dialog, kMidSwatch);
        EXPECT_EQ(Swatch(dialog, kMidSwatch).BackColor(), 0x302010u);
        EXPECT_EQ(Swatch(dialog, kMidSwatch).HoverColor(), 0x302010u);
        EXPECT_EQ(Swatch(dialog, kMidSwatch).ForeColor(), 0x302010u);
        Click(dialog, kLowSwatch);  // not confirmed
        EXPECT_EQ(Swatch(dialog, kLowSwatch).BackColor(), 0xC0C000u);
        Click(dialog, IDOK);
    });
    driver.hooks.ChooseColour = [&](HWND owner, TColor& colour) {
        EXPECT_NE(owner, nullptr);
        presets.push_back(colour);
        colour = 0x302010;
        const bool confirmed = confirm;
        confirm = false;
        return confirmed;
    };
    EXPECT_TRUE(RunColourDialog(nullptr, settings, driver.hooks));
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0], 0x00FFFFu);
    EXPECT_EQ(presets[1], 0xC0C000u);
    EXPECT_EQ(settings.MidColor, 0x302010u);
    EXPECT_EQ(settings.LowColor, 0xC0C000u);
}

TEST(Win32ColourDialog, AFailingChooserIsReportedAndTheDialogGoesOn) {
    TColourSettings settings;
    const ExceptionCapture capture;
    Driver driver([](HWND dialog) {
        Click(dialog, kHighSwatch);
        // The same command straight to the dialog, past the button.
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kLowSwatch, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, kLowSwatch)));
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, IDCANCEL);
    });
    driver.hooks.ChooseColour = [](HWND, TColor&) -> bool {
        throw std::runtime_error("chooser failed");
    };
    EXPECT_FALSE(RunColourDialog(nullptr, settings, driver.hooks));
    ASSERT_EQ(capture.Messages().size(), 2u);
    EXPECT_EQ(capture.Messages()[0], "chooser failed");
    EXPECT_EQ(capture.Messages()[1], "chooser failed");
}

}  // namespace
}  // namespace spectrino::win32
