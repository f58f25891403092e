// Reads the version block of a program file: the fixed file version and the string values of
// its translations.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace spectrino {

class TVersionInfo {
public:
    // A file without a version block gives an invalid reader whose queries give empty or zero
    // results.
    explicit TVersionInfo(const std::string& fileName);

    bool Valid() const { return FValid; }
    // Most significant file-version word in the high half, least significant in the low half.
    uint64_t FileVersion() const;
    // "%d.%d.%d (%d)" from the four 16-bit parts, most significant first.
    static std::string FormatVersion(uint64_t version);
    // "\StringFileInfo\<language><code page>\<name>" of translation `translation` in UTF-8.
    std::string StringValue(std::string_view name, int translation = 0) const;
    uint32_t TranslationCount() const { return FTranslationCount; }

private:
    std::vector<uint8_t> FBuffer;
    bool FValid = false;
    const uint8_t* FFixedFileInfo = nullptr;
    const uint8_t* FTranslation = nullptr;
    uint32_t FTranslationCount = 0;
};

// The strings the program shows about itself, from its own version block.
struct TProgramVersion {
    std::string Version;  // FormatVersion of the file version; empty without a version block
    std::string ProductName;
    std::string CompanyName;
    std::string FileDescription;
    std::string Email;
    std::string Website;
    std::string Copyright;
};

TProgramVersion ReadProgramVersion(const std::string& programFile);

}  // namespace spectrino
