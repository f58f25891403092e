// Helpers for driving modal dialogs from inside their message loop.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace spectrino::win32 {

// Ends a dialog that a failing test left open, so the suite does not hang.
inline void Watchdog(HWND dialog) {
    SetTimer(dialog, 0x5744, 20000, [](HWND window, UINT, UINT_PTR id, DWORD) {
        KillTimer(window, id);
        ADD_FAILURE() << "the dialog was still open after 20 s";
        EndDialog(window, IDABORT);
    });
}

// Presses a button the way a click does.
inline void Click(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

inline std::wstring Text(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

}  // namespace spectrino::win32
