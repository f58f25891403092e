// Builds small ELF files with chosen sections for the version reader tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace spectrino::test {

inline constexpr uint32_t kProgBits = 1;
inline constexpr uint32_t kNoBits = 8;

struct ElfSection {
    std::string name;
    std::vector<uint8_t> data;
    uint32_t type = kProgBits;
};

// Header, section contents, the section-name table, then the section table.
inline std::vector<uint8_t> MakeElf(const std::vector<ElfSection>& sections, bool is64) {
    std::vector<uint8_t> file(is64 ? 64 : 52, 0);
    auto put = [&](size_t at, uint64_t value, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) {
            file[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', static_cast<uint8_t>(is64 ? 2 : 1), 1, 1};
    std::copy(std::begin(ident), std::end(ident), file.begin());
    put(0x10, 2, 2);              // executable
    put(0x12, is64 ? 62 : 3, 2);  // x86-64 or i386
    put(0x14, 1, 4);

    struct Placed {
        uint32_t name;
        uint32_t type;
        uint64_t offset;
        uint64_t size;
    };
    std::string names(1, '\0');
    std::vector<Placed> placed{{0, 0, 0, 0}};
    auto place = [&](const std::string& name, const std::vector<uint8_t>& data, uint32_t type) {
        while (file.size() % 8 != 0) {
            file.push_back(0);
        }
        placed.push_back({static_cast<uint32_t>(names.size()), type, file.size(), data.size()});
        names += name + '\0';
        if (type != kNoBits) {
            file.insert(file.end(), data.begin(), data.end());
        }
    };
    for (const ElfSection& section : sections) {
        place(section.name, section.data, section.type);
    }
    const std::string tableName = ".shstrtab";
    const uint64_t namesAt = file.size();
    placed.push_back({static_cast<uint32_t>(names.size()), 3, namesAt, 0});
    names += tableName + '\0';
    placed.back().size = names.size();
    file.insert(file.end(), names.begin(), names.end());

    while (file.size() % 8 != 0) {
        file.push_back(0);
    }
    const size_t tableAt = file.size();
    const size_t entry = is64 ? 64 : 40;
    file.resize(tableAt + placed.size() * entry, 0);
    for (size_t i = 0; i < placed.size(); ++i) {
        const size_t at = tableAt + i * entry;
        put(at, placed[i].name, 4);
        put(at + 4, placed[i].type, 4);
        put(at + (is64 ? 24 : 16), placed[i].offset, is64 ? 8 : 4);
        put(at + (is64 ? 32 : 20), placed[i].size, is64 ? 8 : 4);
    }
    put(is64 ? 0x28 : 0x20, tableAt, is64 ? 8 : 4);
    put(is64 ? 0x34 : 0x28, is64 ? 64 : 52, 2);
    put(is64 ? 0x3A : 0x2E, entry, 2);
    put(is64 ? 0x3C : 0x30, placed.size(), 2);
    put(is64 ? 0x3E : 0x32, placed.size() - 1, 2);
    return file;
}

}  // namespace spectrino::test
