// The Win32 colour button: its look in each drawing state, hover, clicks and the default-button
// mark.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/win32/dialogs/colour_button.h"

namespace spectrino::win32 {
namespace {

constexpr TColor kGrey = 0x808080;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;
constexpr COLORREF kClear = RGB(0x12, 0x34, 0x56);  // a colour no state draws
constexpr int kSize = 25;

// A hidden top-level window that counts the clicks of its buttons.
class Parent {
public:
    Parent() {
        WNDCLASSW type{};
        type.lpfnWndProc = &Parent::Procedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"SpectrinoButtonTestParent";
        RegisterClassW(&type);
        handle_ = CreateWindowExW(0, type.lpszClassName, L"", WS_POPUP, 0, 0, 100, 100, nullptr,
                                  nullptr, type.hInstance, nullptr);
    }
    ~Parent() { DestroyWindow(handle_); }
    HWND Handle() const { return handle_; }
    static int clicks;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            ++clicks;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND handle_;
};
int Parent::clicks = 0;

// The button drawn in `state` into a 25 x 25 bitmap cleared to kClear.
class Picture {
public:
    Picture(const ColourButton& button, UINT state) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kSize, -kSize, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels_ = static_cast<const uint32_t*>(bits);
        previous_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, kSize, kSize};
        HBRUSH clear = CreateSolidBrush(kClear);
        FillRect(dc_, &all, clear);
        DeleteObject(clear);
        SelectObject(dc_, GetStockObject(DEFAULT_GUI_FONT));
        button.DrawButton(dc_, all, state);
        GdiFlush();
    }
    ~Picture() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    COLORREF At(int x, int y) const {
        const uint32_t bgra = pixels_[y * kSize + x];
        return RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
    }
    int Count(COLORREF colour, const RECT& area) const {
        int count = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                count += At(x, y) == colour ? 1 : 0;
            }
        }
        return count;
    }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    const uint32_t* pixels_;
};

int Area(const RECT& r) {
    return (r.right - r.left) * (r.bottom - r.top);
}

TEST(Win32ColourButton, HoverShowsHoverColourAndLeavingRestoresTheNormalOne) {
    const Parent parent;
    ColourButton button(parent.Handle(), 1, {0, 0, kSize, kSize});
    EXPECT_EQ(button.BackColor(), clBtnFace);
    EXPECT_EQ(button.ForeColor(), clBtnText);
    button.SetBackColor(kGrey);
    button.SetHoverColor(kRed);
    EXPECT_EQ(button.NormalColor(), kGrey);

    SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(button.BackColor(), kRed);
    SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));  // still over it
    EXPECT_EQ(button.NormalColor(), kGrey);
    SendMessageW(button.Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(button.BackColor(), kGrey);

    // A colour set while hovering is what leaving returns to.
    SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    button.SetBackColor(kBlue);
    EXPECT_EQ(button.NormalColor(), kBlue);
    SendMessageW(button.Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(button.BackColor(), kBlue);
    EXPECT_EQ(ColourButton::FromHandle(button.Handle()), &button);
}

TEST(Win32ColourButton, QuickSecondPressIsASecondClickAndTheStyleStaysOwnerDrawn) {
    const Parent parent;
    ColourButton button(parent.Handle(), 1, {0, 0, kSize, kSize});
    Parent::clicks = 0;
    SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(button.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Parent::clicks, 2);

    // Becoming the default button changes the look, not the window's style.
    SendMessageW(button.Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_TRUE(button.IsActive());
    EXPECT_EQ(GetWindowLongW(button.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    SendMessageW(button.Handle(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EXPECT_FALSE(button.IsActive());
}

TEST(Win32ColourButton, DrawsEachStateWithItsOwnPixels) {
    const Parent parent;
    ColourButton button(parent.Handle(), 1, {0, 0, kSize, kSize});
    button.SetBackColor(kGrey);
    const COLORREF grey = ColourRef(kGrey);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF frame = GetSysColor(COLOR_WINDOWFRAME);

    // Plain: the platform frame around a face of the back colour; an empty caption draws
    // nothing on the face.
    const Picture plain(button, 0);
    const RECT plainFace{2, 2, kSize - 2, kSize - 2};
    EXPECT_EQ(plain.Count(grey, plainFace), Area(plainFace));
    EXPECT_EQ(plain.Count(kClear, {0, 0, kSize, kSize}), 0);
    EXPECT_NE(plain.At(0, 0), grey);
    EXPECT_NE(plain.At(kSize - 1, kSize - 1), plain.At(0, 0));  // lit and shaded edges

    // Pressed: a shadow outline, no platform frame, the face one pixel lower and to the right.
    const Picture pressed(button, ODS_SELECTED);
    EXPECT_EQ(pressed.At(0, 0), shadow);
    EXPECT_EQ(pressed.At(kSize / 2, 0), shadow);
    EXPECT_EQ(pressed.At(1, 1), face);
    EXPECT_EQ(pressed.At(1, kSize / 2), face);
    const RECT pressedFace{2, 2, kSize, kSize};
    EXPECT_EQ(pressed.Count(grey, pressedFace), Area(pressedFace));

    // Focused: the dark outline; the dotted focus rectangle only on the active button.
    const Picture focused(button, ODS_FOCUS);
    EXPECT_EQ(focused.At(0, 0), frame);
    EXPECT_EQ(focused.At(kSize - 1, kSize / 2), frame);
    EXPECT_EQ(focused.Count(grey, {3, 3, kSize - 3, kSize - 3}), Area({3, 3, 22, 22}));
    button.SetButtonStyle(true);
    const Picture active(button, ODS_FOCUS);
    EXPECT_EQ(active.At(0, 0), frame);
    const int dotted = Area({4, 4, 21, 21}) - active.Count(grey, {4, 4, 21, 21});
    EXPECT_GT(dotted, 20);  // every other pixel of the focus rectangle's outline
    EXPECT_NE(active.At(4, 4), grey);
    EXPECT_EQ(active.At(kSize / 2, kSize / 2), grey);
    button.SetButtonStyle(false);

    // Disabled: the caption embossed (shadow and highlight), not in the fore colour.
    SetWindowTextW(button.Handle(), L"WW");
    button.SetForeColor(kRed);
    const Picture enabled(button, 0);
    EXPECT_GT(enabled.Count(ColourRef(kRed), plainFace), 0);
    const Picture disabled(button, ODS_DISABLED);
    EXPECT_EQ(disabled.Count(ColourRef(kRed), plainFace), 0);
    EXPECT_GT(disabled.Count(shadow, plainFace), 0);
    EXPECT_GT(disabled.Count(GetSysColor(COLOR_BTNHIGHLIGHT), plainFace), 0);
}

TEST(Win32ColourButton, DrawRequestFromTheOwnerLeavesTheDeviceContextAsItWas) {
    const Parent parent;
    ColourButton button(parent.Handle(), 7, {0, 0, kSize, kSize});
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, kSize, kSize);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, RGB(1, 2, 3));
    const HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN);
    const HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
    SendMessageW(button.Handle(), WM_SETFONT,
                 reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);

    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 7;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = ODS_FOCUS | ODS_SELECTED;
    item.hwndItem = button.Handle();
    item.hDC = dc;
    item.rcItem = {0, 0, kSize, kSize};
    EXPECT_TRUE(ReflectDrawItem(reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);

    item.CtlType = ODT_STATIC;  // not a button's request
    EXPECT_FALSE(ReflectDrawItem(reinterpret_cast<LPARAM>(&item)));
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

}  // namespace
}  // namespace spectrino::win32
