#include "ui/win32/spectrum/gdi_fonts.h"

#include <algorithm>

#include "framework/exception.h"

namespace spectrino::win32 {

namespace {

LOGFONTW BaseLogFont(const GdiFontSpec& spec) {
    LOGFONTW font{};
    font.lfHeight = spec.Height;
    font.lfWeight = spec.Bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = spec.Italic ? TRUE : FALSE;
    font.lfUnderline = spec.Underline ? TRUE : FALSE;
    font.lfStrikeOut = spec.StrikeOut ? TRUE : FALSE;
    const size_t length = std::min<size_t>(spec.Face.size(), LF_FACESIZE - 1);
    std::copy_n(spec.Face.data(), length, font.lfFaceName);
    font.lfFaceName[length] = L'\0';
    return font;
}

Font Create(const LOGFONTW& description) {
    Font font(::CreateFontIndirectW(&description));
    if (!font) {
        throw Exception("CreateFontIndirect failed");
    }
    return font;
}

}  // namespace

GdiFontSpec DefaultNotationFont() {
    return {};
}

GdiFontSpec DefaultSeperatorFont() {
    GdiFontSpec spec;
    spec.Height = -9;
    return spec;
}

Font MakeFont(const GdiFontSpec& spec) {
    LOGFONTW font = BaseLogFont(spec);
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH;
    return Create(font);
}

Font MakeUpwardFont(const GdiFontSpec& spec) {
    LOGFONTW font = BaseLogFont(spec);
    font.lfWidth = 0;
    font.lfEscapement = 900;  // tenths of a degree, counter-clockwise
    font.lfOrientation = 0;
    font.lfCharSet = ANSI_CHARSET;
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = PROOF_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH;
    return Create(font);
}

}  // namespace spectrino::win32
