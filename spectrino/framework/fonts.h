// The dialog font of the forms, "MS Shell Dlg 2", or the platform's sans face where it is absent.
#pragma once

#include <QFont>

namespace spectrino {

// A font whose characters are `pixels` high (a negative font height in the form's terms).
QFont ShellDlgFont(int pixels);
// The same face at a size in points.
QFont ShellDlgFontPoints(int points);

}  // namespace spectrino
