#include "core/VersionInfo.h"

#include <algorithm>
#include <cstdio>

#include "platform/version_info.h"

namespace spectrino {
namespace {

uint16_t ReadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(ReadLE16(p)) | (static_cast<uint32_t>(ReadLE16(p + 2)) << 16);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// UTF-16LE up to the first terminator; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const uint8_t* p, size_t units) {
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        const char16_t unit = ReadLE16(p + 2 * i);
        if (unit == 0) {
            break;
        }
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char16_t low = ReadLE16(p + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace

TVersionInfo::TVersionInfo(const std::string& fileName) {
    const uint32_t size = platform::GetFileVersionInfoSize(fileName);
    if (size == 0) {
        return;
    }
    FBuffer.resize(size);
    if (!platform::GetFileVersionInfo(fileName, size, FBuffer.data())) {
        FBuffer = {};
        return;
    }
    FValid = true;
    const void* value = nullptr;
    uint32_t length = 0;
    if (platform::VerQueryValue(FBuffer.data(), size, "\\", &value, &length) &&
        length >= platform::kFixedFileInfoSize) {
        FFixedFileInfo = static_cast<const uint8_t*>(value);
    }
    if (platform::VerQueryValue(FBuffer.data(), size, "\\VarFileInfo\\Translation", &value,
                                &length)) {
        FTranslation = static_cast<const uint8_t*>(value);
        FTranslationCount = length / 4;
    }
}

uint64_t TVersionInfo::FileVersion() const {
    if (!FValid || FFixedFileInfo == nullptr) {
        return 0;
    }
    const uint64_t ms = ReadLE32(FFixedFileInfo + platform::kFixedFileVersionMSOffset);
    const uint64_t ls = ReadLE32(FFixedFileInfo + platform::kFixedFileVersionLSOffset);
    return (ms << 32) | ls;
}

std::string TVersionInfo::FormatVersion(uint64_t version) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d (%d)", static_cast<int>((version >> 48) & 0xFFFF),
                  static_cast<int>((version >> 32) & 0xFFFF),
                  static_cast<int>((version >> 16) & 0xFFFF), static_cast<int>(version & 0xFFFF));
    return text;
}

std::string TVersionInfo::StringValue(std::string_view name, int translation) const {
    if (!FValid || translation < 0 || static_cast<uint32_t>(translation) >= FTranslationCount) {
        return {};
    }
    const uint8_t* entry = FTranslation + 4 * static_cast<size_t>(translation);
    char key[32];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%.4x%.4x\\", ReadLE16(entry),
                  ReadLE16(entry + 2));
    const std::string path = key + std::string(name);
    const void* value = nullptr;
    uint32_t length = 0;
    if (!platform::VerQueryValue(FBuffer.data(), static_cast<uint32_t>(FBuffer.size()), path,
                                 &value, &length)) {
        return {};
    }
    // Never read past the copy, whatever the block claims.
    const auto* text = static_cast<const uint8_t*>(value);
    const size_t available = static_cast<size_t>(FBuffer.data() + FBuffer.size() - text) / 2;
    return Utf16ToUtf8(text, std::min<size_t>(length, available));
}

TProgramVersion ReadProgramVersion(const std::string& programFile) {
    const TVersionInfo info(programFile);
    TProgramVersion version;
    if (info.Valid()) {
        version.Version = TVersionInfo::FormatVersion(info.FileVersion());
    }
    version.ProductName = info.StringValue("ProductName");
    version.CompanyName = info.StringValue("CompanyName");
    version.FileDescription = info.StringValue("FileDescription");
    version.Email = info.StringValue("Email");
    version.Website = info.StringValue("Website");
    version.Copyright = info.StringValue("LegalCopyright");
    return version;
}

}  // namespace spectrino
