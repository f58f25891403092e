// The version block the build gives a program (a version resource on Windows, an ELF section
// elsewhere), read back from the running program's own file.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/version_info.h"
#include "test_environment.h"

namespace spectrino::platform {
namespace {

uint32_t Word32(const void* p, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, static_cast<const uint8_t*>(p) + offset, sizeof value);
    return value;
}

// A UTF-16 value up to its terminator, as ASCII (the test strings are ASCII).
std::string Ascii(const void* p, uint32_t characters) {
    std::string text;
    const auto* bytes = static_cast<const uint8_t*>(p);
    for (uint32_t i = 0; i < characters; ++i) {
        const uint16_t unit = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

std::array<uint16_t, 4> VersionParts(const std::string& text) {
    std::array<uint16_t, 4> parts{};
    size_t start = 0;
    for (uint16_t& part : parts) {
        const size_t dot = text.find('.', start);
        part = static_cast<uint16_t>(std::stoul(text.substr(start, dot - start)));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    return parts;
}

TEST(VersionResource, ProgramFileCarriesTheProjectVersionAndStrings) {
    const std::string self = ProgramFilePath();
    const uint32_t size = GetFileVersionInfoSize(self);
    ASSERT_GT(size, kFixedFileInfoSize) << self;
    std::vector<uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfo(self, size, block.data()));

    const void* value = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(VerQueryValue(block.data(), size, "\\", &value, &length));
    ASSERT_EQ(length, kFixedFileInfoSize);
    EXPECT_EQ(Word32(value, 0), kFixedFileInfoSignature);
    const auto v = VersionParts(SPECTRINO_PROJECT_VERSION);
    EXPECT_EQ(Word32(value, kFixedFileVersionMSOffset), (uint32_t{v[0]} << 16) | v[1]);
    EXPECT_EQ(Word32(value, kFixedFileVersionLSOffset), (uint32_t{v[2]} << 16) | v[3]);

    ASSERT_TRUE(VerQueryValue(block.data(), size, "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(Word32(value, 0), 0x04B00409u);  // U.S. English, UTF-16

    const std::string table = "\\StringFileInfo\\040904B0\\";
    for (const auto& [name, expected] :
         {std::pair<std::string, std::string>{"ProductName", "Spectrino"},
          {"productname", "Spectrino"},
          {"FileVersion", SPECTRINO_PROJECT_VERSION},
          {"Email", "spectrino@example.org"}}) {
        ASSERT_TRUE(VerQueryValue(block.data(), size, table + name, &value, &length)) << name;
        EXPECT_EQ(Ascii(value, length), expected) << name;
    }
    EXPECT_FALSE(VerQueryValue(block.data(), size, table + "NoSuchName", &value, &length));
    EXPECT_FALSE(VerQueryValue(block.data(), size, "\\StringFileInfo\\04070000\\ProductName",
                               &value, &length));
}

TEST(VersionResource, FilesWithoutABlockHaveNone) {
    const std::filesystem::path dir = test::MakeTempDirectory("spectrino-version");
    const std::filesystem::path plain = dir / "plain.exe";
    std::ofstream(plain, std::ios::binary) << std::string(4096, 'x');
    EXPECT_EQ(GetFileVersionInfoSize(plain.string()), 0u);
    EXPECT_EQ(GetFileVersionInfoSize((dir / "missing.exe").string()), 0u);
    std::array<uint8_t, 64> block{};
    EXPECT_FALSE(GetFileVersionInfo((dir / "missing.exe").string(), block.size(), block.data()));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace spectrino::platform
