// The program icon ("MAINICON"), spectrum bars in the analyzer's zone colours.
#pragma once

#include <QIcon>

namespace spectrino {

// Every drawn size of the icon, 16 to 256 pixels.
QIcon MainIcon();

}  // namespace spectrino
