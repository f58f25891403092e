#include "shell/resources/MainIcon.h"

#include <QSize>
#include <QString>

// The resource lives in a static library, so it is registered by hand before first use.
static void InitMainIconResource() {
    Q_INIT_RESOURCE(main_icon);
}

namespace spectrino {

QIcon MainIcon() {
    InitMainIconResource();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/spectrino-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace spectrino
