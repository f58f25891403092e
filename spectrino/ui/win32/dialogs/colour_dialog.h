// The colour settings dialog on Win32: three colour swatches, the two threshold lists, Reset,
// OK and Cancel, with a full-open colour chooser behind each swatch.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/colour_settings.h"

namespace spectrino::win32 {

// Control identifiers; OK and Cancel are IDOK and IDCANCEL.
enum ColourDialogControl : int {
    kGroupBox = 100,
    kHighSwatch = 101,
    kMidSwatch = 102,
    kLowSwatch = 103,
    kHighList = 111,
    kMidList = 112,
    kResetButton = 121,
};

struct ColourDialogHooks {
    // Runs the colour chooser preset to `colour`; true and the choice in `colour` when the user
    // confirms. Default: ChooseColour.
    std::function<bool(HWND owner, TColor& colour)> ChooseColour;
    // Shows the error box of a refused OK. Default: a message box with the error icon.
    std::function<void(HWND owner, const std::wstring& text, const std::wstring& caption)>
        ShowError;
    // Called once the dialog runs (tests drive it from here).
    std::function<void(HWND dialog)> Shown;
};

// Runs the dialog modally on `settings`; true, with the edited values in `settings`, when it
// ends with OK. Otherwise `settings` is left as it was.
bool RunColourDialog(HWND owner, TColourSettings& settings, const ColourDialogHooks& hooks = {});

// The system's colour chooser, opened with its custom-colour part, preset to `colour`.
bool ChooseColour(HWND owner, TColor& colour);

}  // namespace spectrino::win32
