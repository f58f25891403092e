#include "fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace spectrino {
namespace {

QFont ShellDlgFace() {
    const QString preferred = QStringLiteral("MS Shell Dlg 2");
    if (QFontDatabase::families().contains(preferred)) {
        return QFont(preferred);
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

QFont ShellDlgFont(int pixels) {
    QFont font = ShellDlgFace();
    font.setPixelSize(pixels);
    return font;
}

QFont ShellDlgFontPoints(int points) {
    QFont font = ShellDlgFace();
    font.setPointSize(points);
    return font;
}

}  // namespace spectrino
