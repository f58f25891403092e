#include "commandline.h"

namespace spectrino {

bool NoASIO = false;

bool HasNoAsioSwitch(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        std::string upper = argument;
        for (char& c : upper) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        if (upper == "/NOASIO") {
            return true;
        }
    }
    return false;
}

}  // namespace spectrino
