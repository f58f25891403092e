#include "capture/device_names.h"

#include <set>

namespace spectrino {
namespace {

// The first `characters` characters of a UTF-8 text, never splitting a character, without
// trailing blanks.
std::string Cut(const std::string& text, size_t characters) {
    size_t seen = 0;
    size_t end = 0;
    for (; end < text.size(); ++end) {
        const bool starts_character = (static_cast<unsigned char>(text[end]) & 0xC0) != 0x80;
        if (starts_character && seen++ == characters) {
            break;
        }
    }
    while (end > 0 && text[end - 1] == ' ') {
        --end;
    }
    return text.substr(0, end);
}

}  // namespace

std::vector<std::string> DistinctDeviceNames(const std::vector<std::string>& names,
                                             const std::vector<std::string>& reserved) {
    std::set<std::string> taken(reserved.begin(), reserved.end());
    std::vector<std::string> result(names.size());
    std::vector<size_t> repeats;
    // First pass: every name's first holder keeps it, wherever the repeats stand.
    for (size_t i = 0; i < names.size(); ++i) {
        if (taken.insert(names[i]).second) {
            result[i] = names[i];
        } else {
            repeats.push_back(i);
        }
    }
    for (const size_t i : repeats) {
        for (unsigned n = 2;; ++n) {
            const std::string suffix = " (" + std::to_string(n) + ")";
            std::string candidate =
                Cut(names[i], kMaxDeviceNameCharacters - suffix.size()) + suffix;
            if (taken.insert(candidate).second) {
                result[i] = std::move(candidate);
                break;
            }
        }
    }
    return result;
}

}  // namespace spectrino
