// Text between the core's UTF-8 and the wide Win32 functions, and numbers in the user's
// locale.
#pragma once

#include <string>
#include <string_view>

namespace spectrino::win32 {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The user's decimal separator as UTF-8 ("." when the locale names none).
std::string UserDecimalSeparator();

// Up to 15 significant digits, no trailing zeros, no group separator: "14.5", "578".
std::string FormatDecimal(double value, std::string_view decimalSeparator);

}  // namespace spectrino::win32
