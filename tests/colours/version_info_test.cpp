// The version reader on files made here, on the real program and on corrupted input; the
// percent-encoder.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "core/VersionInfo.h"
#include "elf_file.h"
#include "platform/process.h"
#include "platform/version_info.h"
#include "shell/version/version_block.h"

namespace spectrino {
namespace {

using test::ElfSection;
using test::MakeElf;

// A fresh directory for the files of one test.
class TempDir {
public:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string file = dir_.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    std::string Path() const { return dir_.path().toStdString(); }

private:
    QTemporaryDir dir_;
};

TVersionBlockContents SampleContents() {
    TVersionBlockContents contents;
    contents.FileVersion = {1, 0, 1, 51};
    contents.Strings = {{"ProductName", "Spectrino"},
                        {"LegalCopyright", "\xC2\xA9 Spectrino \xF0\x9D\x84\x9E"},  // ©, U+1D11E
                        {"Email", "mail@example.org"},
                        {"Empty", ""}};
    return contents;
}

std::vector<uint8_t> SampleElf(const TVersionBlockContents& contents, bool is64) {
    return MakeElf({{".text", std::vector<uint8_t>(40, 0x90)},
                    {std::string(platform::kVersionSectionName), BuildVersionBlock(contents)}},
                   is64);
}

void ExpectEmpty(const TVersionInfo& info) {
    EXPECT_EQ(info.FileVersion(), 0u);
    EXPECT_EQ(info.TranslationCount(), 0u);
    EXPECT_EQ(info.StringValue("ProductName"), "");
}

TEST(VersionInfo, ReadsFixedVersionAndStringsFromBothElfClasses) {
    const TempDir dir;
    for (const uint16_t codePage : {0x04B0, 0x04E4}) {
        for (const bool is64 : {true, false}) {
            SCOPED_TRACE(testing::Message() << "64-bit " << is64 << " code page " << codePage);
            TVersionBlockContents contents = SampleContents();
            contents.CodePage = codePage;
            const TVersionInfo info(dir.Write("sample", SampleElf(contents, is64)));
            ASSERT_TRUE(info.Valid());
            EXPECT_EQ(info.FileVersion(), 0x0001000000010033u);
            EXPECT_EQ(TVersionInfo::FormatVersion(info.FileVersion()), "1.0.1 (51)");
            EXPECT_EQ(info.TranslationCount(), 1u);
            EXPECT_EQ(info.StringValue("ProductName"), "Spectrino");
            EXPECT_EQ(info.StringValue("PRODUCTNAME"), "Spectrino");
            EXPECT_EQ(info.StringValue("LegalCopyright"), "\xC2\xA9 Spectrino \xF0\x9D\x84\x9E");
            EXPECT_EQ(info.StringValue("Email"), "mail@example.org");
            EXPECT_EQ(info.StringValue("Empty"), "");
            EXPECT_EQ(info.StringValue("Product"), "");
            EXPECT_EQ(info.StringValue("ProductName", 1), "");
            EXPECT_EQ(info.StringValue("ProductName", -1), "");
        }
    }
    EXPECT_EQ(TVersionInfo::FormatVersion(0xFFFFFFFFFFFFFFFFu), "65535.65535.65535 (65535)");
}

TEST(VersionInfo, FilesWithoutABlockReadAsEmpty) {
    const TempDir dir;
    const std::vector<uint8_t> withBlock = SampleElf(SampleContents(), true);
    std::vector<uint8_t> truncated(withBlock.begin(), withBlock.begin() + 200);
    const std::vector<std::string> files = {
        dir.Path() + "/missing",
        dir.Path(),
        dir.Write("text", {'h', 'e', 'l', 'l', 'o'}),
        dir.Write("plain-elf", MakeElf({{".text", {1, 2, 3}}}, true)),
        dir.Write("no-bits", MakeElf({{std::string(platform::kVersionSectionName),
                                       BuildVersionBlock(SampleContents()), test::kNoBits}},
                                     false)),
        dir.Write("truncated", truncated),
        dir.Write("tiny-block",
                  MakeElf({{std::string(platform::kVersionSectionName), {4, 0, 0, 0}}}, true)),
        platform::ProgramFilePath(),  // this test program has no version block
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const TVersionInfo info(file);
        EXPECT_FALSE(info.Valid());
        ExpectEmpty(info);
        const TProgramVersion strings = ReadProgramVersion(file);
        EXPECT_EQ(strings.Version + strings.ProductName + strings.Copyright + strings.Website, "");
    }
}

TEST(VersionInfo, WithoutTranslationTableEveryStringIsEmpty) {
    const TempDir dir;
    TVersionBlockContents contents = SampleContents();
    contents.WithTranslation = false;
    const TVersionInfo info(dir.Write("no-translation", SampleElf(contents, true)));
    ASSERT_TRUE(info.Valid());
    EXPECT_EQ(TVersionInfo::FormatVersion(info.FileVersion()), "1.0.1 (51)");
    EXPECT_EQ(info.TranslationCount(), 0u);
    for (const auto& [name, value] : contents.Strings) {
        EXPECT_EQ(info.StringValue(name), "") << name;
    }
}

TEST(VersionInfo, TheProgramCarriesTheBuildsVersion) {
    const TProgramVersion version = ReadProgramVersion(SPECTRINO_PROGRAM_FILE);
    EXPECT_EQ(version.Version, SPECTRINO_EXPECTED_VERSION);
    EXPECT_EQ(version.ProductName, "Spectrino");
    EXPECT_FALSE(version.CompanyName.empty());
    EXPECT_FALSE(version.FileDescription.empty());
    EXPECT_NE(version.Email.find('@'), std::string::npos);
    EXPECT_EQ(version.Website.rfind("https://", 0), 0u);
    EXPECT_FALSE(version.Copyright.empty());
}

// Whatever the bytes, lookups stay inside the block and a failed reader reports nothing.
TEST(VersionInfo, SurvivesRandomCorruption) {
    const TempDir dir;
    std::mt19937 random(20240611);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const std::vector<uint8_t> block = BuildVersionBlock(SampleContents());
    const std::vector<std::string> paths = {"\\",
                                            "\\VarFileInfo\\Translation",
                                            "\\StringFileInfo\\040904b0\\ProductName",
                                            "\\StringFileInfo\\040904B0\\LegalCopyright",
                                            "\\StringFileInfo",
                                            "\\\\StringFileInfo\\\\040904b0\\Empty\\"};
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes = block;
        for (size_t n = 1 + below(6); n > 0; --n) {
            bytes[below(bytes.size())] = static_cast<uint8_t>(below(256));
        }
        if (below(4) == 0) {
            bytes.resize(below(bytes.size()));
        }
        for (const std::string& path : paths) {
            const void* value = nullptr;
            uint32_t length = 0;
            if (platform::VerQueryValue(bytes.data(), static_cast<uint32_t>(bytes.size()), path,
                                        &value, &length)) {
                const auto* at = static_cast<const uint8_t*>(value);
                ASSERT_GE(at, bytes.data());
                ASSERT_LE(at + length, bytes.data() + bytes.size()) << path;
            }
        }
    }
    const std::vector<uint8_t> files[] = {SampleElf(SampleContents(), true),
                                          SampleElf(SampleContents(), false)};
    for (int round = 0; round < 1500; ++round) {
        const bool is64 = round % 2 == 0;
        std::vector<uint8_t> bytes = files[round % 2];
        const size_t table = (is64 ? 64 : 40) * 4;  // four sections at the end of the file
        for (size_t n = 1 + below(4); n > 0; --n) {
            // Mostly the headers, where offsets and sizes live.
            const size_t choice = below(3);
            const size_t at = choice == 0   ? below(is64 ? 64 : 52)
                              : choice == 1 ? bytes.size() - table + below(table)
                                            : below(bytes.size());
            bytes[at] = static_cast<uint8_t>(below(256));
        }
        if (below(8) == 0) {
            bytes.resize(below(bytes.size()));
        }
        const TVersionInfo info(dir.Write("fuzz", bytes));
        const std::string product = info.StringValue("ProductName");
        if (!info.Valid()) {
            ExpectEmpty(info);
        }
        ASSERT_LE(product.size(), 4 * block.size());
    }
}

}  // namespace
}  // namespace spectrino
