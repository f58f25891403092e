// The driver's own settings window: the PCM to open, the period size (one block) and the
// number of periods in the ALSA ring buffer.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/driver_panel.h"
#include "settings.h"

class QComboBox;
class QSpinBox;

namespace spectrino::alsa {

class ControlPanel final : public drivers::DriverPanel {
public:
    // `accepted` receives the edited settings when the user confirms.
    ControlPanel(const Settings& current, const std::vector<std::string>& devices,
                 const std::function<void(const Settings&)>& accepted);

    Settings Edited() const;

private:
    Settings base_;
    QComboBox* device_;
    QSpinBox* periodSize_;
    QSpinBox* periods_;
};

}  // namespace spectrino::alsa
