// The program on Windows: loads the filter bank, makes the main window and runs the message loop.
#include "ui/win32/spectrum/win32_api.h"

#include <windows.h>

#include <string>
#include <vector>

#include "core/commandline.h"
#include "filterbank/utonebank.h"
#include "framework/exception_handler.h"
#include "platform/fpu.h"
#include "platform/termination.h"
#include "ui/win32/main_window.h"
#include "ui/win32/spectrum/win32_text.h"

namespace {

// Keeps the filter-bank library loaded for the whole run.
struct FilterBankLibraryScope {
    FilterBankLibraryScope() { spectrino::LoadFilterBankLibrary(); }
    ~FilterBankLibraryScope() { spectrino::UnloadFilterBankLibrary(); }
    FilterBankLibraryScope(const FilterBankLibraryScope&) = delete;
    FilterBankLibraryScope& operator=(const FilterBankLibraryScope&) = delete;
};

void ShowError(const std::string& message) {
    ::MessageBoxW(::GetActiveWindow(), spectrino::win32::Utf8ToWide(message).c_str(), L"Spectrino",
                  MB_OK | MB_ICONERROR);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace spectrino;
    const FilterBankLibraryScope library;
    platform::SetFpuControlWord(platform::kDefaultFpuControlWord);
    NoASIO = HasNoAsioSwitch(std::vector<std::string>(argv + 1, argv + argc));
    SetExceptionPresenter(&ShowError);
    try {
        win32::MainWindow window;
        // Asked to end from outside: close as the user would, so the settings are stored.
        const HWND handle = window.Handle();
        const platform::TerminationRequests termination(
            [handle] { ::PostMessageW(handle, WM_CLOSE, 0, 0); });
        window.Show();
        MSG message{};
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        return static_cast<int>(message.wParam);
    } catch (const std::exception& error) {
        ShowError(error.what());
        return 1;
    }
}
