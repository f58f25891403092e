#include "ui/win32/dialogs/dialog_host.h"

#include <exception>
#include <vector>

#include "framework/exception_handler.h"

namespace spectrino::win32 {
namespace {

// Posted after the dialog started, so it arrives inside the modal message loop.
constexpr UINT kShownMessage = WM_APP + 0x3F0;
constexpr wchar_t kFontFace[] = L"MS Shell Dlg 2";

// An empty dialog template: no controls, no font; sizes are set in pixels afterwards.
std::vector<WORD> EmptyTemplate(const std::wstring& caption) {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
    words.push_back(0);  // no menu
    words.push_back(0);  // the predefined dialog class
    words.insert(words.end(), caption.begin(), caption.end());
    words.push_back(0);
    return words;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

UniqueFont MakeDialogFont(int pixels, bool bold) {
    return UniqueFont(CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontFace));
}

UniqueFont MakeDialogFontPoints(int points) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return MakeDialogFont(MulDiv(points, dpi, 72));
}

HWND CreateControl(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style,
                   const RECT& place, int id, HFONT font) {
    HWND control = CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, place.left,
                                   place.top, place.right - place.left, place.bottom - place.top,
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr && font != nullptr) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return control;
}

INT_PTR ModalDialog::Run(HWND owner, const std::wstring& caption) {
    const std::vector<WORD> words = EmptyTemplate(caption);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                   reinterpret_cast<const DLGTEMPLATE*>(words.data()), owner,
                                   &ModalDialog::Procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    try {
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<ModalDialog*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            self->handle_ = dialog;
            self->OnInit();
            PostMessageW(dialog, kShownMessage, 0, 0);
            return TRUE;
        }
        if (self == nullptr) {
            return FALSE;
        }
        if (message == kShownMessage) {
            if (self->Shown) {
                self->Shown(dialog);
            }
            return TRUE;
        }
        return self->OnMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        ApplicationHandleException(error);
    }
    return FALSE;
}

}  // namespace spectrino::win32
