// The spectrum's fonts on GDI: the notation font, the separator font and the separator font
// turned upward.
#pragma once

#include <string>

#include "ui/win32/spectrum/gdi_handles.h"

namespace spectrino::win32 {

struct GdiFontSpec {
    std::wstring Face = L"MS Shell Dlg 2";
    int Height = -11;  // negative: the character height in pixels, as a LOGFONT has it
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    bool operator==(const GdiFontSpec&) const = default;
};

// The fonts the main form gives the control.
GdiFontSpec DefaultNotationFont();
GdiFontSpec DefaultSeperatorFont();

// A font as the form's font objects make it.
Font MakeFont(const GdiFontSpec& spec);
// The separator labels' font: runs bottom to top, TrueType only, proof quality.
Font MakeUpwardFont(const GdiFontSpec& spec);

}  // namespace spectrino::win32
