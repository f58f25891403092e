#include "ui/win32/dialogs/colour_button.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>
#include <string>

#include "framework/exception_handler.h"
#include "ui/win32/dialogs/dialog_host.h"

namespace spectrino::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 0x53574348;  // "SWCH"
// The window property that leads from a button window to its object.
constexpr wchar_t kObjectProperty[] = L"SpectrinoColourButton";
// The owner's WM_DRAWITEM as it reaches the drawn control (the OCM_ convention).
constexpr UINT kReflectedDrawItem = WM_USER + 0x1C00 + WM_DRAWITEM;

// Saves the device context's state and puts it back, also when drawing throws.
class SavedDc {
public:
    explicit SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~SavedDc() { RestoreDC(dc_, saved_); }
    SavedDc(const SavedDc&) = delete;
    SavedDc& operator=(const SavedDc&) = delete;

private:
    HDC dc_;
    int saved_;
};

// Selects an object for as long as it lives.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

UniquePen SolidPen(TColor colour) {
    return UniquePen(CreatePen(PS_SOLID, 1, ColourRef(colour)));
}

UniqueBrush SolidBrush(TColor colour) {
    return UniqueBrush(CreateSolidBrush(ColourRef(colour)));
}

std::wstring Caption(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

COLORREF ColourRef(TColor colour) {
    if ((colour & 0xFF000000u) == 0xFF000000u) {
        return GetSysColor(static_cast<int>(colour & 0xFF));
    }
    return colour & 0x00FFFFFFu;
}

bool ReflectDrawItem(LPARAM drawItem) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(drawItem);
    return item != nullptr && item->CtlType == ODT_BUTTON &&
           SendMessageW(item->hwndItem, kReflectedDrawItem, 0, drawItem) != 0;
}

ColourButton::ColourButton(HWND parent, int id, const RECT& place, HFONT font,
                           const wchar_t* caption) {
    handle_ = CreateControl(parent, L"BUTTON", caption, WS_TABSTOP | BS_OWNERDRAW, place, id, font);
    if (handle_ == nullptr) {
        throw std::runtime_error("The colour button could not be created");
    }
    SetPropW(handle_, kObjectProperty, this);
    SetWindowSubclass(handle_, &ColourButton::Subclass, kSubclassId,
                      reinterpret_cast<DWORD_PTR>(this));
}

ColourButton::~ColourButton() {
    if (handle_ != nullptr) {
        RemoveWindowSubclass(handle_, &ColourButton::Subclass, kSubclassId);
        RemovePropW(handle_, kObjectProperty);
        DestroyWindow(handle_);
    }
}

ColourButton* ColourButton::FromHandle(HWND window) {
    return window != nullptr ? static_cast<ColourButton*>(GetPropW(window, kObjectProperty))
                             : nullptr;
}

void ColourButton::SetBackColor(TColor value) {
    if (value != backColor_) {
        backColor_ = value;
        normalColor_ = value;
        Repaint();
    }
}

void ColourButton::SetForeColor(TColor value) {
    if (value != foreColor_) {
        foreColor_ = value;
        Repaint();
    }
}

void ColourButton::SetHoverColor(TColor value) {
    if (value != hoverColor_) {
        hoverColor_ = value;
        Repaint();
    }
}

void ColourButton::SetButtonStyle(bool active) {
    if (active != isActive_) {
        isActive_ = active;
        Repaint();
    }
}

void ColourButton::Repaint() const {
    if (handle_ != nullptr) {
        InvalidateRect(handle_, nullptr, FALSE);
    }
}

void ColourButton::PointerEntered() {
    normalColor_ = backColor_;
    backColor_ = hoverColor_;
    Repaint();
}

void ColourButton::PointerLeft() {
    backColor_ = normalColor_;
    Repaint();
}

void ColourButton::DrawButton(HDC dc, RECT rect, UINT state) const {
    const bool selected = (state & ODS_SELECTED) != 0;
    const bool disabled = (state & ODS_DISABLED) != 0;
    const bool focused = (state & ODS_FOCUS) != 0;
    const RECT kept = rect;

    UINT frame = DFCS_BUTTONPUSH | DFCS_ADJUSTRECT;
    if (selected) {
        frame |= DFCS_PUSHED;
    }
    if (disabled) {
        frame |= DFCS_INACTIVE;
    }
    if (isActive_ || focused) {
        const UniquePen pen = SolidPen(clWindowFrame);
        const Selected usePen(dc, pen.get());
        const Selected noFill(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
        InflateRect(&rect, -1, -1);
    }
    if (selected) {
        const UniquePen pen = SolidPen(clBtnShadow);
        const UniqueBrush brush = SolidBrush(clBtnFace);
        const Selected usePen(dc, pen.get());
        const Selected useBrush(dc, brush.get());
        Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
        InflateRect(&rect, -1, -1);
        OffsetRect(&rect, 1, 1);  // the pressed face shifts
    } else {
        DrawFrameControl(dc, &rect, DFC_BUTTON, frame);
    }
    {
        const UniqueBrush face = SolidBrush(backColor_);
        FillRect(dc, &rect, face.get());
    }

    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, ColourRef(foreColor_));
    const std::wstring caption = handle_ != nullptr ? Caption(handle_) : std::wstring();
    if (!caption.empty()) {
        const int length = static_cast<int>(caption.size());
        if (disabled) {
            SIZE size{};
            GetTextExtentPoint32W(dc, caption.c_str(), length, &size);
            const int x = rect.left + (rect.right - rect.left - size.cx) / 2;
            const int y = rect.top + (rect.bottom - rect.top - size.cy) / 2;
            DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption.c_str()),
                       static_cast<WPARAM>(length), x, y, 0, 0, DST_TEXT | DSS_DISABLED);
        } else {
            RECT text = rect;
            DrawTextW(dc, caption.c_str(), length, &text, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        }
    }
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);

    if (isActive_ && focused) {
        RECT focus = kept;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
}

void ColourButton::Draw(const DRAWITEMSTRUCT& item) const {
    const SavedDc saved(item.hDC);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(handle_, WM_GETFONT, 0, 0));
    if (font != nullptr) {
        SelectObject(item.hDC, font);
    }
    DrawButton(item.hDC, item.rcItem, item.itemState);
}

LRESULT CALLBACK ColourButton::Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    try {
        return reinterpret_cast<ColourButton*>(self)->Handle(message, wParam, lParam);
    } catch (const std::exception& error) {
        ApplicationHandleException(error);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT ColourButton::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = handle_;
    switch (message) {
        case kReflectedDrawItem:
            Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return 1;
        case WM_LBUTTONDBLCLK:
            // A quick second press is a second click, not a double click.
            return DefSubclassProc(window, WM_LBUTTONDOWN, wParam, lParam);
        case BM_SETSTYLE:
            // The dialog manager marks the default button this way; the window keeps its
            // owner-drawn style, only the look follows.
            SetButtonStyle((wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
            return 0;
        case WM_SETFOCUS:
            SetButtonStyle(true);
            break;
        case WM_KILLFOCUS:
            SetButtonStyle(false);
            break;
        case WM_MOUSEMOVE:
            if (!tracking_) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
                TrackMouseEvent(&track);
                tracking_ = true;
                PointerEntered();
            }
            break;
        case WM_MOUSELEAVE:
            tracking_ = false;
            PointerLeft();
            break;
        case WM_ENABLE:
        case WM_SETFONT: {
            const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
            Repaint();
            return result;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, &ColourButton::Subclass, kSubclassId);
            RemovePropW(window, kObjectProperty);
            handle_ = nullptr;
            break;
        default:
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace spectrino::win32
