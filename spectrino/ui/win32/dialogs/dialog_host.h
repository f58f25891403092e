// A modal dialog built from an empty in-memory template: the derived class creates its controls
// in pixels when the dialog starts and handles its messages. Exceptions never leave the dialog
// procedure; they go to the application's handler.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace spectrino::win32 {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
using UniquePen = std::unique_ptr<std::remove_pointer_t<HPEN>, GdiObjectDeleter>;

struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// UTF-8 text as the wide text Win32 wants.
std::wstring Widen(std::string_view utf8);

// The dialog font face at a character height in pixels (the form's negative font height).
UniqueFont MakeDialogFont(int pixels, bool bold = false);
// The same face at a size in points on the screen.
UniqueFont MakeDialogFontPoints(int points);

// A child control at a place in pixels, with the given font.
HWND CreateControl(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style,
                   const RECT& place, int id, HFONT font);

class ModalDialog {
public:
    ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;
    virtual ~ModalDialog() = default;

    // Runs the dialog until it ends; the result EndDialog gave (IDOK, IDCANCEL), or -1 when the
    // dialog could not be made.
    INT_PTR Run(HWND owner, const std::wstring& caption);

    // Called once the dialog runs its message loop (tests drive it from here).
    std::function<void(HWND dialog)> Shown;

protected:
    HWND Handle() const { return handle_; }
    void End(INT_PTR result) const { EndDialog(handle_, result); }

    // Creates the controls and places the dialog.
    virtual void OnInit() = 0;
    // A message the dialog procedure handles; FALSE leaves it to the dialog manager.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
};

}  // namespace spectrino::win32
