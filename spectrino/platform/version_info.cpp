#include "version_info.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <winver.h>
// The version API's names are macros choosing the A or W variant; ours are plain functions.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef VerQueryValue
#else
#include <filesystem>
#include <fstream>
#endif

namespace spectrino::platform {

#if defined(_WIN32)

namespace {

std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

}  // namespace

uint32_t GetFileVersionInfoSize(const std::string& fileName) {
    DWORD handle = 0;
    return GetFileVersionInfoSizeW(Widen(fileName, CP_UTF8).c_str(), &handle);
}

bool GetFileVersionInfo(const std::string& fileName, uint32_t size, void* data) {
    return data != nullptr && size != 0 &&
           GetFileVersionInfoW(Widen(fileName, CP_UTF8).c_str(), 0, size, data) != FALSE;
}

bool VerQueryValue(const void* block, uint32_t blockSize, std::string_view subBlock,
                   const void** value, uint32_t* length) {
    if (block == nullptr || blockSize == 0) {
        return false;
    }
    void* found = nullptr;
    UINT count = 0;
    if (VerQueryValueW(block, Widen(subBlock, CP_ACP).c_str(), &found, &count) == FALSE) {
        return false;
    }
    *value = found;
    *length = count;
    return true;
}

#else

namespace {

uint16_t ReadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Block nodes: wLength, wValueLength, wType, a zero-terminated UTF-16 key, padding to 32 bits,
// the value, padding, the children. Offsets are relative to the start of the block.
struct BlockNode {
    size_t keyOffset = 0;
    size_t keyChars = 0;
    size_t valueOffset = 0;
    size_t valueBytes = 0;
    bool text = false;
    size_t childrenOffset = 0;
    size_t end = 0;
};

size_t Align4(size_t offset) {
    return (offset + 3) & ~static_cast<size_t>(3);
}

std::optional<BlockNode> ParseNode(const uint8_t* block, size_t limit, size_t offset) {
    if (offset > limit || limit - offset < 6) {
        return std::nullopt;
    }
    const size_t length = ReadLE16(block + offset);
    if (length < 6 || length > limit - offset) {
        return std::nullopt;
    }
    BlockNode node;
    node.end = offset + length;
    node.text = ReadLE16(block + offset + 4) == 1;
    node.keyOffset = offset + 6;
    size_t p = node.keyOffset;
    while (p + 2 <= node.end && ReadLE16(block + p) != 0) {
        p += 2;
    }
    if (p + 2 > node.end) {
        return std::nullopt;  // key without terminator
    }
    node.keyChars = (p - node.keyOffset) / 2;
    node.valueOffset = std::min(Align4(p + 2), node.end);
    // Some writers count text values in bytes rather than characters; never reach past the node.
    const size_t declared = ReadLE16(block + offset + 2);
    node.valueBytes = std::min(node.text ? declared * 2 : declared, node.end - node.valueOffset);
    node.childrenOffset = std::min(Align4(node.valueOffset + node.valueBytes), node.end);
    return node;
}

char FoldAscii(char32_t c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
}

bool KeyEquals(const uint8_t* block, const BlockNode& node, std::string_view name) {
    if (node.keyChars != name.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const uint16_t unit = ReadLE16(block + node.keyOffset + 2 * i);
        if (unit >= 0x80 || FoldAscii(unit) != FoldAscii(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<BlockNode> FindChild(const uint8_t* block, const BlockNode& parent,
                                   std::string_view name) {
    size_t offset = parent.childrenOffset;
    while (offset < parent.end) {
        const std::optional<BlockNode> child = ParseNode(block, parent.end, offset);
        if (!child) {
            return std::nullopt;  // damaged: nothing after it can be trusted
        }
        if (KeyEquals(block, *child, name)) {
            return child;
        }
        offset = Align4(child->end);
    }
    return std::nullopt;
}

uint64_t ReadUnsigned(const uint8_t* p, size_t bytes, bool bigEndian) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) {
        const size_t index = bigEndian ? i : bytes - 1 - i;
        value = (value << 8) | p[index];
    }
    return value;
}

// Where the version section lies in the file.
struct FileRange {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// Reads [offset, offset + size) of a regular file, refusing anything past its end.
class FileReader {
public:
    explicit FileReader(const std::string& fileName) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(fileName, error)) {
            return;
        }
        const uintmax_t size = std::filesystem::file_size(fileName, error);
        if (error) {
            return;
        }
        stream_.open(fileName, std::ios::binary);
        size_ = stream_ ? size : 0;
    }

    uint64_t Size() const { return size_; }

    bool Read(uint64_t offset, uint64_t size, std::vector<uint8_t>& out) {
        if (offset > size_ || size > size_ - offset) {
            return false;
        }
        out.resize(static_cast<size_t>(size));
        stream_.clear();
        stream_.seekg(static_cast<std::streamoff>(offset));
        stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(size));
        return static_cast<uint64_t>(stream_.gcount()) == size;
    }

private:
    std::ifstream stream_;
    uint64_t size_ = 0;
};

// Section header fields for both ELF classes.
struct SectionHeader {
    uint32_t name = 0;
    uint32_t type = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t link = 0;
};

SectionHeader ParseSectionHeader(const uint8_t* e, bool is64, bool big) {
    SectionHeader s;
    s.name = static_cast<uint32_t>(ReadUnsigned(e, 4, big));
    s.type = static_cast<uint32_t>(ReadUnsigned(e + 4, 4, big));
    s.offset = is64 ? ReadUnsigned(e + 24, 8, big) : ReadUnsigned(e + 16, 4, big);
    s.size = is64 ? ReadUnsigned(e + 32, 8, big) : ReadUnsigned(e + 20, 4, big);
    s.link = static_cast<uint32_t>(ReadUnsigned(e + (is64 ? 40 : 24), 4, big));
    return s;
}

constexpr uint32_t kNoBits = 8;              // SHT_NOBITS: no bytes in the file
constexpr uint32_t kExtendedIndex = 0xFFFF;  // SHN_XINDEX
// Section tables and name tables larger than these are not from a sane executable.
constexpr uint64_t kMaxSectionTable = 16u << 20;
constexpr uint64_t kMaxNameTable = 16u << 20;

std::optional<FileRange> FindVersionSection(FileReader& file) {
    std::vector<uint8_t> header;
    constexpr uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
    if (!file.Read(0, 16, header) || std::memcmp(header.data(), kMagic, 4) != 0) {
        return std::nullopt;
    }
    const uint8_t elfClass = header[4];
    const uint8_t elfData = header[5];
    if ((elfClass != 1 && elfClass != 2) || (elfData != 1 && elfData != 2)) {
        return std::nullopt;
    }
    const bool is64 = elfClass == 2;
    const bool big = elfData == 2;
    if (!file.Read(0, is64 ? 64 : 52, header)) {
        return std::nullopt;
    }
    const uint8_t* h = header.data();
    const uint64_t tableOffset =
        is64 ? ReadUnsigned(h + 0x28, 8, big) : ReadUnsigned(h + 0x20, 4, big);
    const uint64_t entrySize = ReadUnsigned(h + (is64 ? 0x3A : 0x2E), 2, big);
    uint64_t count = ReadUnsigned(h + (is64 ? 0x3C : 0x30), 2, big);
    uint64_t namesIndex = ReadUnsigned(h + (is64 ? 0x3E : 0x32), 2, big);
    const uint64_t minEntry = is64 ? 64 : 40;
    if (tableOffset == 0 || entrySize < minEntry) {
        return std::nullopt;
    }

    // Extended numbering keeps the real count and name-table index in section 0.
    std::vector<uint8_t> table;
    if (count == 0 || namesIndex == kExtendedIndex) {
        if (!file.Read(tableOffset, minEntry, table)) {
            return std::nullopt;
        }
        const SectionHeader first = ParseSectionHeader(table.data(), is64, big);
        if (count == 0) {
            count = first.size;
        }
        if (namesIndex == kExtendedIndex) {
            namesIndex = first.link;
        }
    }
    if (count == 0 || count > kMaxSectionTable / entrySize || namesIndex >= count ||
        !file.Read(tableOffset, count * entrySize, table)) {
        return std::nullopt;
    }
    auto headerAt = [&](uint64_t index) {
        return ParseSectionHeader(table.data() + index * entrySize, is64, big);
    };

    const SectionHeader namesHeader = headerAt(namesIndex);
    std::vector<uint8_t> names;
    if (namesHeader.type == kNoBits || namesHeader.size > kMaxNameTable ||
        !file.Read(namesHeader.offset, namesHeader.size, names)) {
        return std::nullopt;
    }
    for (uint64_t i = 0; i < count; ++i) {
        const SectionHeader section = headerAt(i);
        if (section.name >= names.size()) {
            continue;
        }
        const char* name = reinterpret_cast<const char*>(names.data()) + section.name;
        const size_t room = names.size() - section.name;
        if (kVersionSectionName.size() < room &&
            std::memcmp(name, kVersionSectionName.data(), kVersionSectionName.size()) == 0 &&
            name[kVersionSectionName.size()] == '\0') {
            if (section.type == kNoBits || section.offset > file.Size() ||
                section.size > file.Size() - section.offset) {
                return std::nullopt;
            }
            return FileRange{section.offset, section.size};
        }
    }
    return std::nullopt;
}

// The block's own length (its first word), when the section holds a plausible block.
std::optional<FileRange> FindVersionBlock(FileReader& file) {
    const std::optional<FileRange> section = FindVersionSection(file);
    std::vector<uint8_t> word;
    if (!section || section->size < 6 || !file.Read(section->offset, 2, word)) {
        return std::nullopt;
    }
    const uint16_t length = ReadLE16(word.data());
    if (length < 6 || length > section->size) {
        return std::nullopt;
    }
    return FileRange{section->offset, length};
}

}  // namespace

uint32_t GetFileVersionInfoSize(const std::string& fileName) {
    FileReader file(fileName);
    const std::optional<FileRange> block = FindVersionBlock(file);
    return block ? static_cast<uint32_t>(block->size) : 0;
}

bool GetFileVersionInfo(const std::string& fileName, uint32_t size, void* data) {
    if (data == nullptr || size == 0) {
        return false;
    }
    FileReader file(fileName);
    const std::optional<FileRange> block = FindVersionBlock(file);
    std::vector<uint8_t> bytes;
    if (!block || !file.Read(block->offset, std::min<uint64_t>(size, block->size), bytes)) {
        return false;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    return true;
}

bool VerQueryValue(const void* block, uint32_t blockSize, std::string_view subBlock,
                   const void** value, uint32_t* length) {
    if (block == nullptr || value == nullptr || length == nullptr) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(block);
    std::optional<BlockNode> node = ParseNode(bytes, blockSize, 0);
    while (node && !subBlock.empty()) {
        const size_t separator = subBlock.find('\\');
        const std::string_view key = subBlock.substr(0, separator);
        subBlock = separator == std::string_view::npos ? std::string_view{}
                                                       : subBlock.substr(separator + 1);
        if (!key.empty()) {
            node = FindChild(bytes, *node, key);
        }
    }
    if (!node) {
        return false;
    }
    *value = bytes + node->valueOffset;
    *length = static_cast<uint32_t>(node->text ? node->valueBytes / 2 : node->valueBytes);
    return true;
}

#endif

}  // namespace spectrino::platform
