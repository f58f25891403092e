#include "version_block.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace spectrino {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One code point from text[i], advancing i; a malformed sequence gives U+FFFD for its first byte.
char32_t DecodeUtf8(const std::string& text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, smallest = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (text.size() - i <= extra) {
        ++i;
        return kReplacement;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return c;
}

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        char32_t c = DecodeUtf8(text, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

// Appends nodes and patches each node's total length once its children are written.
class BlockWriter {
public:
    size_t Begin(const std::u16string& key, uint16_t valueLength, bool text) {
        Pad();
        const size_t start = bytes_.size();
        Word(0);
        Word(valueLength);
        Word(text ? 1 : 0);
        Text(key);
        Pad();
        return start;
    }

    void End(size_t start) {
        const size_t length = bytes_.size() - start;
        if (length > 0xFFFF) {
            throw std::length_error("version block too large");
        }
        bytes_[start] = static_cast<uint8_t>(length & 0xFF);
        bytes_[start + 1] = static_cast<uint8_t>(length >> 8);
    }

    void Word(uint16_t value) {
        bytes_.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes_.push_back(static_cast<uint8_t>(value >> 8));
    }

    void Dword(uint32_t value) {
        Word(static_cast<uint16_t>(value & 0xFFFF));
        Word(static_cast<uint16_t>(value >> 16));
    }

    // Zero-terminated.
    void Text(const std::u16string& text) {
        for (const char16_t unit : text) {
            Word(static_cast<uint16_t>(unit));
        }
        Word(0);
    }

    void Pad() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
    }

    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

uint32_t High(const std::array<uint16_t, 4>& v) {
    return (static_cast<uint32_t>(v[0]) << 16) | v[1];
}

uint32_t Low(const std::array<uint16_t, 4>& v) {
    return (static_cast<uint32_t>(v[2]) << 16) | v[3];
}

std::u16string Hex4(uint16_t value) {
    char text[5];
    std::snprintf(text, sizeof text, "%04X", value);
    return Utf8ToUtf16(text);
}

}  // namespace

std::vector<uint8_t> BuildVersionBlock(const TVersionBlockContents& contents) {
    constexpr uint16_t kFixedSize = 52;
    BlockWriter w;
    const size_t root = w.Begin(u"VS_VERSION_INFO", kFixedSize, false);
    w.Dword(0xFEEF04BD);  // signature
    w.Dword(0x00010000);  // structure version 1.0
    w.Dword(High(contents.FileVersion));
    w.Dword(Low(contents.FileVersion));
    w.Dword(High(contents.ProductVersion));
    w.Dword(Low(contents.ProductVersion));
    w.Dword(0x3F);  // flags mask
    w.Dword(0);     // flags
    w.Dword(0);     // operating system: unknown
    w.Dword(1);     // file type: application
    w.Dword(0);     // subtype
    w.Dword(0);     // date, high
    w.Dword(0);     // date, low

    const size_t stringInfo = w.Begin(u"StringFileInfo", 0, true);
    const size_t table = w.Begin(Hex4(contents.Language) + Hex4(contents.CodePage), 0, true);
    for (const auto& [name, value] : contents.Strings) {
        const std::u16string text = Utf8ToUtf16(value);
        if (text.size() + 1 > 0xFFFF) {
            throw std::length_error("version string too long");
        }
        const size_t entry =
            w.Begin(Utf8ToUtf16(name), static_cast<uint16_t>(text.size() + 1), true);
        w.Text(text);
        w.End(entry);
    }
    w.End(table);
    w.End(stringInfo);

    if (contents.WithTranslation) {
        const size_t varInfo = w.Begin(u"VarFileInfo", 0, true);
        const size_t var = w.Begin(u"Translation", 4, false);
        w.Word(contents.Language);
        w.Word(contents.CodePage);
        w.End(var);
        w.End(varInfo);
    }
    w.End(root);
    return w.Take();
}

bool ParseVersionParts(const std::string& text, std::array<uint16_t, 4>& parts) {
    parts = {};
    const char* p = text.data();
    const char* const end = p + text.size();
    for (size_t i = 0; i < parts.size(); ++i) {
        const auto [next, error] = std::from_chars(p, end, parts[i]);
        if (error != std::errc{}) {
            return false;
        }
        p = next;
        if (p == end) {
            return true;
        }
        if (*p != '.' || i + 1 == parts.size()) {
            return false;
        }
        ++p;
    }
    return false;
}

}  // namespace spectrino
