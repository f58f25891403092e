// A push button whose face is filled with a chosen colour: the swatches of the colour dialog.
// An owner-drawn BUTTON keeps the push button's behaviour (click, focus, keyboard); this class
// replaces its look and shows HoverColor while the pointer is over it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/colour.h"

namespace spectrino::win32 {

// System colours used by the drawing.
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBtnText = 0xFF000012;
inline constexpr TColor clWindowFrame = 0xFF000006;
inline constexpr TColor clBtnShadow = 0xFF000010;

// The COLORREF of a colour value; system colours give the system's current colour.
COLORREF ColourRef(TColor colour);

// The owner's WM_DRAWITEM handed on to the control that is drawn; true when it drew itself.
bool ReflectDrawItem(LPARAM drawItem);

class ColourButton {
public:
    // Creates the button as a child of `parent`, `place` in the parent's client pixels.
    ColourButton(HWND parent, int id, const RECT& place, HFONT font = nullptr,
                 const wchar_t* caption = L"");
    ~ColourButton();
    ColourButton(const ColourButton&) = delete;
    ColourButton& operator=(const ColourButton&) = delete;

    // The object behind a button window, or null.
    static ColourButton* FromHandle(HWND window);

    HWND Handle() const { return handle_; }

    // The face colour; while the pointer is over the button this shows HoverColor.
    TColor BackColor() const { return backColor_; }
    void SetBackColor(TColor value);
    TColor ForeColor() const { return foreColor_; }
    void SetForeColor(TColor value);
    TColor HoverColor() const { return hoverColor_; }
    void SetHoverColor(TColor value);
    // The face colour the pointer's leaving returns to.
    TColor NormalColor() const { return normalColor_; }

    // Whether the button is the active one (focused or the one Enter presses): the dark outline.
    bool IsActive() const { return isActive_; }
    void SetButtonStyle(bool active);

    // Draws the button into `rect` for the item-state bits ODS_SELECTED, ODS_DISABLED and
    // ODS_FOCUS, in the font selected into `dc`.
    void DrawButton(HDC dc, RECT rect, UINT state) const;

private:
    static LRESULT CALLBACK Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Draw(const DRAWITEMSTRUCT& item) const;
    void Repaint() const;
    void PointerEntered();
    void PointerLeft();

    HWND handle_ = nullptr;
    TColor backColor_ = clBtnFace;
    TColor foreColor_ = clBtnText;
    TColor hoverColor_ = clBtnFace;
    TColor normalColor_ = clBtnFace;
    bool isActive_ = false;
    bool tracking_ = false;  // the pointer is over the button, its leaving is awaited
};

}  // namespace spectrino::win32
