// A seeded random corpus over the hive parser: damaged text never crashes it, and whatever it
// accepts is saved in a form that reads back clean and unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>

#include "platform/hive_file.h"

namespace spectrino::platform {
namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

const std::string kSeed =
    "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; comment\r\n"
    "[HKEY_CURRENT_USER\\Software\\Maker\\Spectrino]\r\n"
    "\"Device\"=\"Line \\\"In\\\" \\\\ 2\\n\"\r\n"
    "@=\"default\"\r\n"
    "\"Width\"=dword:000001d0\r\n"
    "\"Blob\"=hex:01,02,\\\n  03,04\r\n"
    "\"Path\"=hex(2):25,00\r\n"
    "[HKEY_CURRENT_USER\\Software\\ASIO\\Driver ]x]\n"
    "\"clsid\"=\"{00000000-0000-0000-0000-000000000000}\"\n";

const std::string_view kTokens[] = {
    "\\",
    "\"",
    "[",
    "]",
    "=",
    "@",
    "\n",
    "\r\n",
    "\r",
    "dword:",
    "hex:",
    "hex(7):",
    ",\\\n",
    "HKEY_CURRENT_USER\\",
    "[-HKEY_CURRENT_USER]",
    ";",
    std::string_view("\0", 1),
    "\xff",
    " ",
};

// Saves the parsed text and reads it back: the result must be a fixed point.
void ExpectStableSave(std::string_view text) {
    const HiveDocument document = HiveDocument::Parse(kRoot, text);
    if (document.Health() == HiveHealth::Unreadable) {
        ASSERT_TRUE(document.Root().Values().empty() && document.Root().Children().empty());
    }
    const std::string saved = document.Serialize();
    const HiveDocument again = HiveDocument::Parse(kRoot, saved);
    ASSERT_EQ(again.Health(), HiveHealth::Clean) << text;
    ASSERT_EQ(again.Serialize(), saved) << text;
}

std::string Mutate(std::string text, std::mt19937& random) {
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int edit = 0; edit < edits; ++edit) {
        // Mostly behind the header line, which is checked first and ends all parsing when bad.
        const std::size_t start = random() % 16 == 0 ? 0 : std::min(text.find('\n'), text.size());
        const std::size_t at = start + random() % (text.size() - start + 1);
        const std::size_t length = 1 + random() % 16;
        switch (random() % 5) {
            case 0:
                if (at < text.size()) {
                    text[at] = static_cast<char>(random());
                }
                break;
            case 1:
                text.insert(at, kTokens[random() % std::size(kTokens)]);
                break;
            case 2:
                text.erase(at, length);
                break;
            case 3:
                text.resize(at);
                break;
            case 4:
                text.insert(at, text.substr(random() % (text.size() + 1), length * 4));
                break;
        }
    }
    return text;
}

TEST(HiveFuzzTest, SeededCorpusNeverBreaksTheParser) {
    ExpectStableSave(kSeed);
    EXPECT_EQ(HiveDocument::Parse(kRoot, kSeed).Health(), HiveHealth::Clean);
    std::mt19937 random(20240601);
    std::string previous = kSeed;
    for (int i = 0; i < 20000; ++i) {
        // Mostly fresh mutations of the seed, sometimes a mutation of the last one.
        const std::string text = Mutate(random() % 4 == 0 ? previous : kSeed, random);
        ExpectStableSave(text);
        if (HasFatalFailure()) {
            return;
        }
        previous = text.size() < 4096 ? text : kSeed;
    }
}

TEST(HiveFuzzTest, HostileShapesStayBounded) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    std::string deep = header + "[HKEY_CURRENT_USER";
    for (int i = 0; i < 100000; ++i) {
        deep += "\\k";
    }
    deep += "]\n\"v\"=dword:1\n";
    EXPECT_EQ(HiveDocument::Parse(kRoot, deep).Health(), HiveHealth::Damaged);

    std::string wide = header + "[HKEY_CURRENT_USER\\Wide]\n";
    for (int i = 0; i < 200000; ++i) {
        wide += "\"v" + std::to_string(i) + "\"=dword:1\n[HKEY_CURRENT_USER\\k" +
                std::to_string(i % 1000) + "]\n[HKEY_CURRENT_USER\\Wide]\n";
    }
    const HiveDocument document = HiveDocument::Parse(kRoot, wide);
    EXPECT_EQ(document.Health(), HiveHealth::Clean);
    EXPECT_EQ(document.Root().Children().size(), 1001u);
    EXPECT_EQ(document.Root().FindChild("wide")->Values().size(), 200000u);

    for (const std::string& text :
         {header + "[HKEY_CURRENT_USER]\n\"b\"=hex:01,\\", header + std::string(1 << 20, '\\'),
          header + "\"" + std::string(1 << 20, '"'), std::string(1 << 16, '\0'),
          header + std::string(5000, '[')}) {
        EXPECT_NE(HiveDocument::Parse(kRoot, text).Health(), HiveHealth::Clean);
        ExpectStableSave(text);
    }
}

}  // namespace
}  // namespace spectrino::platform
