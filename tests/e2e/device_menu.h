// The window's Device menu entry a user would click, found by its text.
#pragma once

#include <QAction>
#include <QMenu>
#include <QString>

#include "shell/Unit1.h"

namespace spectrino_test {

inline QAction* DeviceMenuItem(spectrino::TForm1& form, const QString& text) {
    for (QAction* action : form.devs1->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace spectrino_test
