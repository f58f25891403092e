// Writes a version block in the VS_VERSIONINFO layout: the fixed file information, one string
// table and the translation table, as the build embeds it into the program file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace spectrino {

struct TVersionBlockContents {
    // Major, minor, release, build.
    std::array<uint16_t, 4> FileVersion{};
    std::array<uint16_t, 4> ProductVersion{};
    // Name and UTF-8 text of each string value, in the order they are written.
    std::vector<std::pair<std::string, std::string>> Strings;
    uint16_t Language = 0x0409;  // U.S. English
    uint16_t CodePage = 0x04B0;  // UTF-16
    bool WithTranslation = true;
};

std::vector<uint8_t> BuildVersionBlock(const TVersionBlockContents& contents);

// "1.2.3.4" into its four parts; missing trailing parts are 0. False on anything else.
bool ParseVersionParts(const std::string& text, std::array<uint16_t, 4>& parts);

}  // namespace spectrino
