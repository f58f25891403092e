#include "ui/win32/spectrum/win32_text.h"

#include <cstdio>

#include "ui/win32/spectrum/win32_api.h"

namespace spectrino::win32 {

std::wstring Utf8ToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string UserDecimalSeparator() {
    wchar_t separator[8] = {};
    const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    if (length <= 1) {
        return ".";
    }
    return WideToUtf8(std::wstring_view(separator, static_cast<size_t>(length - 1)));
}

std::string FormatDecimal(double value, std::string_view decimalSeparator) {
    char buffer[64];
    // Whatever point the C runtime's locale writes becomes the user's separator.
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text;
    for (const char* p = buffer; *p != '\0'; ++p) {
        if (*p == '.' || *p == ',') {
            text += decimalSeparator;
        } else {
            text += *p;
        }
    }
    return text;
}

}  // namespace spectrino::win32
