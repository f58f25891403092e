// The spectrum control's window under Wine: messages in, pixels of its picture out. Windows
// need the display (scripts/test-windows.sh starts Xvfb).
#include "ui/win32/spectrum/spectrum_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "core/bandlevel.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "ui/win32/spectrum/win32_text.h"

namespace spectrino::win32 {
namespace {

constexpr wchar_t kParentClass[] = L"SpectrinoSpectrumTestParent";

HWND MakeParent(bool shown) {
    static const ATOM atom = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kParentClass;
        return ::RegisterClassExW(&windowClass);
    }();
    EXPECT_NE(atom, 0);
    const HWND parent =
        ::CreateWindowExW(0, kParentClass, L"parent", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                          800, 600, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (shown) {
        ::ShowWindow(parent, SW_SHOWNOACTIVATE);
    }
    return parent;
}

// One shown parent for the suite: without a window manager Wine takes seconds to destroy a
// shown window.
HWND SharedParent() {
    static const HWND parent = MakeParent(true);
    return parent;
}

void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// How many more GDI objects the process may make: a real count of its GDI handles, also
// under Wine, whose GetGuiResources answers 0.
int GdiHeadroom() {
    std::vector<HPEN> pens;
    while (pens.size() < 200000) {
        const HPEN pen = ::CreatePen(PS_SOLID, 1, 0);
        if (pen == nullptr) {
            break;
        }
        pens.push_back(pen);
    }
    for (const HPEN pen : pens) {
        ::DeleteObject(pen);
    }
    return static_cast<int>(pens.size());
}

LPARAM Point(int x, int y) {
    return MAKELPARAM(x, y);
}

class SpectrumWindowTest : public ::testing::Test {
protected:
    SpectrumWindowTest() {
        EXPECT_NE(parent, nullptr) << "no window without a display (DISPLAY for Wine)";
        spectrum = std::make_unique<SpectrumWindow>(parent);
        EXPECT_TRUE(spectrum->RefreshTimerActive());
        // Ticks come from the test only.
        ::KillTimer(spectrum->Handle(), SpectrumWindow::kRefreshTimerId);
        spectrum->SetPeakDisplay(TPeakDisplay::pdHold);
        delivered.fill(kFloorLevel);
        spectrum->OnRefresh = [this](TSpectArray& values) {
            ++calls;
            values = delivered;
        };
        Resize(SpectrumWindow::kMinWidth, SpectrumWindow::kMinHeight);
    }

    void Resize(int width, int height) {
        ::SetWindowPos(spectrum->Handle(), nullptr, 0, 0, width, height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        Pump();
    }
    void Tick() {
        ::SendMessageW(spectrum->Handle(), WM_TIMER, SpectrumWindow::kRefreshTimerId, 0);
    }
    TColor At(int x, int y) {
        ::GdiFlush();
        return spectrum->Picture()->Pixel(x, y);
    }
    int PlotHeight() const { return spectrum->PlotBottom() - spectrum->PlotTop(); }
    // The first row of band's column, from the plot's top, that shows the colour.
    int FirstRowOf(int band, TColor color) {
        const int x = spectrum->BarLeft(band);
        for (int y = spectrum->PlotTop(); y < spectrum->PlotBottom(); ++y) {
            if (At(x, y) == color) {
                return y - spectrum->PlotTop();
            }
        }
        return -1;
    }

    HWND parent = SharedParent();
    std::unique_ptr<SpectrumWindow> spectrum;
    TSpectArray delivered{};
    int calls = 0;
};

TEST_F(SpectrumWindowTest, PaintsTheScaleAndBarsOfTheirLevelAndFollowsItsSize) {
    ASSERT_NE(spectrum->Picture(), nullptr);
    EXPECT_EQ(spectrum->Picture()->Width(), SpectrumWindow::kMinWidth);
    const TSpectrumLayout& layout = spectrum->Renderer().Layout();
    const TColor scale = spectrum->ScaleColor();
    // The 0 dB and the bottom line run from the left margin to the right one.
    for (const int y : {spectrum->PlotTop(), spectrum->PlotBottom()}) {
        EXPECT_EQ(At(layout.LeftMargin, y), scale) << y;
        EXPECT_EQ(At(SpectrumWindow::kMinWidth - layout.RightMargin - 1, y), scale) << y;
        EXPECT_EQ(At(SpectrumWindow::kMinWidth - layout.RightMargin, y), spectrum->Color()) << y;
    }

    // A tick lifts band 10 to -37 dB: half the plot in the low colour, topped by its peak.
    delivered[10] = -3700;
    Tick();
    EXPECT_EQ(calls, 2);  // the paint's and the tick's
    const int top = PlotHeight() - PlotHeight() * 37 / 74;
    EXPECT_EQ(FirstRowOf(10, spectrum->LowColor()), top);
    EXPECT_EQ(At(spectrum->BarLeft(10), spectrum->PlotTop() + top), spectrum->LowColor());
    EXPECT_EQ(At(spectrum->BarLeft(10), spectrum->PlotTop() + top - 1), spectrum->Color());
    EXPECT_EQ(At(spectrum->BarLeft(11), spectrum->PlotBottom() - 1), spectrum->Color());

    // A larger window gets a larger picture, repainted with the bar at its level.
    Resize(700, 330);
    ASSERT_EQ(spectrum->Picture()->Width(), 700);
    EXPECT_EQ(spectrum->Picture()->Height(), 330);
    EXPECT_EQ(At(spectrum->Renderer().Layout().LeftMargin, spectrum->PlotBottom()), scale);
    EXPECT_EQ(FirstRowOf(10, spectrum->LowColor()), PlotHeight() - PlotHeight() * 37 / 74);
}

TEST_F(SpectrumWindowTest, RepaintsAreCoalescedAndWaitForTheEventLoop) {
    delivered[30] = -1200;
    Tick();
    const int before = calls;
    spectrum->SetHighColor(0x0000F0);
    spectrum->SetMidColor(0x00F0F0);
    spectrum->SetHighTreshhold(-5);
    EXPECT_EQ(calls, before);
    EXPECT_EQ(FirstRowOf(30, 0x00F0F0), -1);
    Pump();
    EXPECT_EQ(calls, before + 1);
    // -12 dB, drawn from the rebuilt column, and its marker in the new mid colour.
    EXPECT_EQ(FirstRowOf(30, 0x00F0F0), PlotHeight() - PlotHeight() * 62 / 74);
}

TEST_F(SpectrumWindowTest, PointerReadoutShowsTheBandAndLevelAndErasesOutsideThePlot) {
    const int x = spectrum->BarLeft(0) + 1;
    const int y = spectrum->PlotTop() + 1;
    ::SendMessageW(spectrum->Handle(), WM_MOUSEMOVE, 0, Point(x, y));
    EXPECT_EQ(spectrum->Renderer().FreqText(), "14" + UserDecimalSeparator() + "5 Hz");
    EXPECT_EQ(spectrum->Renderer().LevelText(), "-1 db");

    const TSpectrumLayout& layout = spectrum->Renderer().Layout();
    const int right = spectrum->Picture()->Width() - layout.RightMargin;
    const auto inked = [&](int left, int right) {
        for (int py = 4; py < 8 + 11; ++py) {
            for (int px = left; px < right; ++px) {
                if (At(px, py) == spectrum->NotationFontColor()) {
                    return true;
                }
            }
        }
        return false;
    };
    const int freqLeft = right - spectrum->Renderer().FreqTextWidth();
    const int levelRight = layout.LeftMargin + spectrum->Renderer().LevelTextWidth();
    EXPECT_FALSE(inked(freqLeft, right));
    Tick();
    EXPECT_TRUE(inked(freqLeft, right));
    EXPECT_TRUE(inked(layout.LeftMargin, levelRight));

    // Over the label column both texts go, and the next tick erases them.
    ::SendMessageW(spectrum->Handle(), WM_MOUSEMOVE, 0, Point(2, y));
    EXPECT_EQ(spectrum->Renderer().FreqText(), "");
    EXPECT_EQ(spectrum->Renderer().LevelText(), "");
    Tick();
    EXPECT_FALSE(inked(freqLeft, right));
    EXPECT_FALSE(inked(layout.LeftMargin, levelRight));
}

TEST_F(SpectrumWindowTest, DoubleClickRaisesTheEventAndHandlerErrorsStayInTheWindow) {
    int clicks = 0;
    spectrum->OnDblClick = [&] {
        ++clicks;
        spectrum->OnDblClick = nullptr;  // a handler may replace itself
    };
    ::SendMessageW(spectrum->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, Point(100, 100));
    EXPECT_EQ(clicks, 1);

    ExceptionCapture capture;
    spectrum->OnDblClick = [] { throw std::runtime_error("click failed"); };
    ::SendMessageW(spectrum->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, Point(100, 100));
    spectrum->OnRefresh = [](TSpectArray&) { throw std::runtime_error("no levels"); };
    Tick();
    ASSERT_EQ(capture.Messages().size(), 2u);
    EXPECT_EQ(capture.Messages()[0], "click failed");
    EXPECT_EQ(capture.Messages()[1], "no levels");
}

TEST_F(SpectrumWindowTest, DisablingStopsTheTimerAndClearsTheBars) {
    delivered[20] = 0;
    Tick();
    EXPECT_EQ(FirstRowOf(20, spectrum->HighColor()), 0);
    spectrum->SetEnabled(false);
    EXPECT_FALSE(spectrum->Enabled());
    EXPECT_FALSE(spectrum->RefreshTimerActive());
    EXPECT_EQ(FirstRowOf(20, spectrum->HighColor()), -1);
    EXPECT_EQ(spectrum->Levels()[20], kFloorLevel);
    const int before = calls;
    Tick();  // one already queued
    EXPECT_EQ(calls, before);
    spectrum->SetEnabled(true);
    EXPECT_TRUE(spectrum->RefreshTimerActive());
    Tick();
    EXPECT_EQ(FirstRowOf(20, spectrum->HighColor()), 0);
    spectrum->SetShown(false);
    EXPECT_FALSE(::IsWindowVisible(spectrum->Handle()));
}

TEST_F(SpectrumWindowTest, PaintingManyTimesKeepsNoGdiObjects) {
    platform::DebugCapture debug;
    const auto exercise = [&](int i) {
        delivered[i % kBandCount] = -100 * (i % 80);
        spectrum->Paint();
        Tick();
        ::SendMessageW(spectrum->Handle(), WM_MOUSEMOVE, 0,
                       Point(spectrum->BarLeft(i % kBandCount), spectrum->PlotTop() + 5 + i % 50));
        ::RedrawWindow(spectrum->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        if (i % 50 == 0) {
            Resize(SpectrumWindow::kMinWidth + i, SpectrumWindow::kMinHeight + i / 2);
        }
    };
    exercise(0);  // whatever the system keeps after the first use
    const long live = LiveGdiObjects();
    const int headroom = GdiHeadroom();
    for (int i = 1; i < 200; ++i) {
        exercise(i);
    }
    spectrum->SetNotationFont(DefaultNotationFont());
    spectrum->SetSeperatorFont(DefaultSeperatorFont());
    Resize(SpectrumWindow::kMinWidth, SpectrumWindow::kMinHeight);
    EXPECT_EQ(LiveGdiObjects(), live);
    // Wine keeps one handle table for all processes, so other test programs move the headroom
    // by a few; an object left per round would take 199 or more.
    EXPECT_NEAR(GdiHeadroom(), headroom, 40);
    EXPECT_TRUE(debug.Lines().empty()) << debug.Lines().front();
    // The control's own objects go with it.
    spectrum.reset();
    EXPECT_LT(LiveGdiObjects(), live);
}

TEST(SpectrumWindowLifetimeTest, ParentDestroyedFirstLeavesTheControlSafeToDelete) {
    const HWND parent = MakeParent(false);
    ASSERT_NE(parent, nullptr);
    auto spectrum = std::make_unique<SpectrumWindow>(parent);
    ::DestroyWindow(parent);
    EXPECT_EQ(spectrum->Handle(), nullptr);
    EXPECT_FALSE(spectrum->RefreshTimerActive());
    spectrum->Invalidate();
    spectrum->SetEnabled(true);
    spectrum.reset();
}

}  // namespace
}  // namespace spectrino::win32
