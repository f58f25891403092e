// Percent-encoding of text for use inside links.
#pragma once

#include <string>
#include <string_view>

namespace spectrino {

// Every byte other than A-Z, a-z, 0-9, '-', '.' and '_' becomes '%' and two upper-case hex
// digits; a blank becomes %20, never '+'.
std::string URLEncode(std::string_view text);

}  // namespace spectrino
