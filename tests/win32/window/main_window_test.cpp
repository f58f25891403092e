// The Win32 main window under Wine, driven by the messages a user's clicks send: its menus carry
// the analyzer's commands and check marks, the test panel feeds the test data, the Device menu
// lists the wave sources. Windows need the display (scripts/test-windows.sh starts Xvfb).
#include "ui/win32/main_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/app_info.h"
#include "core/bandlevel.h"
#include "filterbank/utonebank.h"
#include "ui/win32/spectrum/win32_text.h"

namespace spectrino::win32 {
namespace {

void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

std::wstring ItemText(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

bool Checked(HMENU menu, int command) {
    return (::GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

std::string WindowText(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return WideToUtf8(text);
}

class MainWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        LoadFilterBankLibrary();
        window_ = std::make_unique<MainWindow>();
        window_->QuitOnDestroy = false;
    }
    static void TearDownTestSuite() {
        window_.reset();
        UnloadFilterBankLibrary();
    }

    static void Command(int command) {
        ::SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
    static HWND Panel(int id) { return ::GetDlgItem(window_->TestPanel(), id); }
    static void SetText(int id, const wchar_t* text) { ::SetWindowTextW(Panel(id), text); }
    static TSpectArray Levels() {
        TSpectArray values{};
        window_->Analyzer().Refresh(values);
        return values;
    }

    static std::unique_ptr<MainWindow> window_;
};

std::unique_ptr<MainWindow> MainWindowTest::window_;

TEST_F(MainWindowTest, MenusCarryTheAnalyzersCommandsAndChecks) {
    const HMENU bar = window_->MenuBar();
    ASSERT_EQ(::GetMenuItemCount(bar), 3);
    EXPECT_EQ(ItemText(bar, 0), L"Device");
    EXPECT_EQ(ItemText(bar, 1), L"Samplerate");
    EXPECT_EQ(ItemText(bar, 2), L"About...");

    // The context menu: items, separators and submenus in their order.
    const HMENU context = window_->ContextMenu();
    ASSERT_EQ(::GetMenuItemCount(context), 14);
    EXPECT_EQ(ItemText(context, 0), L"On");
    EXPECT_EQ(::GetMenuItemID(context, 1), 0u);  // separator
    EXPECT_EQ(ItemText(context, 5), L"Decay Time");
    EXPECT_EQ(ItemText(::GetSubMenu(context, 7), 3), L"Blackman-Harris");
    EXPECT_EQ(::GetMenuItemID(::GetSubMenu(context, 9), 3), UINT{cmInputMode + 4});
    EXPECT_EQ(ItemText(context, 11), L"Colors...");
    EXPECT_EQ(ItemText(context, 13), L"Always on top");

    // Start-up choices show as checks.
    EXPECT_TRUE(Checked(context, cmOn));
    EXPECT_TRUE(Checked(context, cmPeakDecay));
    EXPECT_FALSE(Checked(context, cmPeakHold));
    EXPECT_TRUE(Checked(context, cmDecayTime + 1));
    EXPECT_TRUE(Checked(context, cmInputMode + 1));
    EXPECT_TRUE(Checked(bar, cmRate44100));
    EXPECT_FALSE(Checked(bar, cmRate48000));

    // A click reaches the analyzer, which moves the check within its group.
    Command(cmWindowing + 4);
    EXPECT_EQ(window_->Analyzer().WindowType(), 4);
    for (int tag = 0; tag < 6; ++tag) {
        EXPECT_EQ(Checked(context, cmWindowing + tag), tag == 4) << tag;
    }
    Command(cmDecayTime + 3);
    EXPECT_TRUE(Checked(context, cmDecayTime + 3));
    EXPECT_FALSE(Checked(context, cmDecayTime + 1));
    Command(cmRate48000);
    EXPECT_EQ(window_->Analyzer().Samplerate(), 48000);
    EXPECT_TRUE(Checked(bar, cmRate48000));
    EXPECT_FALSE(Checked(bar, cmRate44100));
    Command(cmRate44100);
    Command(cmPeakHold);
    EXPECT_TRUE(Checked(context, cmPeakHold));
    EXPECT_EQ(window_->Spectrum().PeakDisplay(), TPeakDisplay::pdHold);
    Command(cmPeakDecay);

    // "Always on top" toggles the window's topmost style and its check.
    Command(cmAlwaysOnTop);
    EXPECT_TRUE(Checked(context, cmAlwaysOnTop));
    EXPECT_NE(::GetWindowLongPtrW(window_->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    Command(cmAlwaysOnTop);
    EXPECT_FALSE(Checked(context, cmAlwaysOnTop));
    EXPECT_EQ(::GetWindowLongPtrW(window_->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

    // "On" off clears and stops the spectrum; on again restarts it.
    Command(cmOn);
    EXPECT_FALSE(Checked(context, cmOn));
    EXPECT_FALSE(window_->Spectrum().RefreshTimerActive());
    Command(cmOn);
    EXPECT_TRUE(Checked(context, cmOn));
    EXPECT_TRUE(window_->Spectrum().RefreshTimerActive());
}

TEST_F(MainWindowTest, TestPanelTogglesAndFeedsItsLevels) {
    const HWND spectrum = window_->Spectrum().Handle();
    ASSERT_FALSE(window_->TestPanelShown());
    RECT place{};
    ::GetWindowRect(spectrum, &place);
    const LONG top = place.top;

    // A double-click on the spectrum shows the panel above it; one on the panel hides it.
    ::SendMessageW(spectrum, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
    Pump();
    ASSERT_TRUE(window_->TestPanelShown());
    ::GetWindowRect(spectrum, &place);
    EXPECT_EQ(place.top - top, MainWindow::kPanelHeight);

    // "Noise ": a flat line at the box's level, held to -80 .. -1; text that is no number
    // reads as the minimum.
    ::SendMessageW(Panel(cmTestNoise), BM_CLICK, 0, 0);
    EXPECT_EQ(window_->Analyzer().TestMode(), 2);
    EXPECT_TRUE(::IsWindowEnabled(Panel(MainWindow::kNoiseEdit)));
    EXPECT_FALSE(::IsWindowEnabled(Panel(MainWindow::kRandLowEdit)));
    EXPECT_FALSE(::IsWindowEnabled(Panel(MainWindow::kRandHighEdit)));
    SetText(MainWindow::kNoiseEdit, L"-12");
    EXPECT_EQ(Levels()[0], -1200);
    EXPECT_EQ(Levels()[127], -1200);
    SetText(MainWindow::kNoiseEdit, L"-500");
    EXPECT_EQ(Levels()[5], -8000);
    SetText(MainWindow::kNoiseEdit, L"loud");
    EXPECT_EQ(Levels()[5], -8000);

    // "Rand": levels between the two boxes; equal bounds give that level; the upper box takes
    // any number, and text that is no number reads as 0.
    ::SendMessageW(Panel(cmTestRand), BM_CLICK, 0, 0);
    EXPECT_EQ(window_->Analyzer().TestMode(), 3);
    EXPECT_FALSE(::IsWindowEnabled(Panel(MainWindow::kNoiseEdit)));
    EXPECT_TRUE(::IsWindowEnabled(Panel(MainWindow::kRandHighEdit)));
    SetText(MainWindow::kRandLowEdit, L"-30");
    SetText(MainWindow::kRandHighEdit, L"-30");
    EXPECT_EQ(Levels()[64], -3000);
    SetText(MainWindow::kRandHighEdit, L"-20");
    for (const int32_t level : Levels()) {
        EXPECT_GE(level, -3000);
        EXPECT_LT(level, -2000);
    }
    SetText(MainWindow::kRandHighEdit, L"x");
    SetText(MainWindow::kRandLowEdit, L"-1");
    for (const int32_t level : Levels()) {
        EXPECT_GE(level, -100);
        EXPECT_LT(level, 0);
    }

    ::SendMessageW(Panel(cmTestSilence), BM_CLICK, 0, 0);
    EXPECT_EQ(Levels()[0], kFloorLevel);
    ::SendMessageW(Panel(cmTestDevice), BM_CLICK, 0, 0);
    EXPECT_EQ(window_->Analyzer().TestMode(), 0);

    ::SendMessageW(window_->TestPanel(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
    Pump();
    EXPECT_FALSE(window_->TestPanelShown());
    ::GetWindowRect(spectrum, &place);
    EXPECT_EQ(place.top, top);
}

TEST_F(MainWindowTest, DeviceMenuListsTheSourcesAndSelectsOne) {
    window_->Analyzer().UpdateDevices();
    const HMENU devices = window_->DeviceMenu();
    const int count = ::GetMenuItemCount(devices);
    ASSERT_GE(count, 1);
    EXPECT_EQ(ItemText(devices, 0), L"WaveMapper");
    EXPECT_EQ(::GetMenuItemID(devices, 0), UINT{cmDevice});

    // Opening the menu reads the sources again; the list stays the same.
    ::SendMessageW(window_->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(devices), 0);
    EXPECT_EQ(::GetMenuItemCount(devices), count);

    AppProductName = "Spectrino";
    Command(cmDevice);
    EXPECT_TRUE(Checked(devices, cmDevice));
    EXPECT_EQ(WindowText(window_->Handle()), "Spectrino [WaveMapper]");
    // A wave source has no control panel to offer.
    EXPECT_EQ(::GetMenuItemCount(window_->MenuBar()), 3);
    AppProductName.clear();
}

}  // namespace
}  // namespace spectrino::win32
