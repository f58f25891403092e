// The driver's own settings window: the PCM to open, the period size (one block) and the
// number of periods in the ALSA ring buffer.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "settings.h"

class QComboBox;
class QSpinBox;

namespace spectrino::alsa {

class ControlPanel final : public QDialog {
    Q_OBJECT

public:
    // `accepted` receives the edited settings when the user confirms.
    ControlPanel(const Settings& current, const std::vector<std::string>& devices,
                 std::function<void(const Settings&)> accepted);

    // Shows the window (again) and brings it to the front.
    void Present();
    Settings Edited() const;

private:
    Settings base_;
    std::function<void(const Settings&)> accepted_;
    QComboBox* device_;
    QSpinBox* periodSize_;
    QSpinBox* periods_;
};

}  // namespace spectrino::alsa
