// libFuzzer entry for the hive parser: any input parses without a fault, and what it yields
// saves to a text that reads back clean and unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/hive_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using spectrino::platform::HiveDocument;
    using spectrino::platform::HiveHealth;
    constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
    const HiveDocument document =
        HiveDocument::Parse(kRoot, std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string saved = document.Serialize();
    const HiveDocument again = HiveDocument::Parse(kRoot, saved);
    if (again.Health() != HiveHealth::Clean || again.Serialize() != saved) {
        __builtin_trap();
    }
    return 0;
}
