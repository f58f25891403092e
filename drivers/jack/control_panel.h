// The driver's own settings window: the server to join, the name to join it under, how many
// ports to offer and the sources to connect the inputs to.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/driver_panel.h"
#include "settings.h"

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace spectrino::jack {

class ControlPanel final : public drivers::DriverPanel {
public:
    // `sources` are the output ports the server has now, offered for the first input.
    ControlPanel(const Settings& current, const std::vector<std::string>& sources,
                 const std::function<void(const Settings&)>& accepted);

    Settings Edited() const;

private:
    QLineEdit* server_;
    QLineEdit* client_;
    QSpinBox* inputs_;
    QSpinBox* outputs_;
    QComboBox* connect_;
};

}  // namespace spectrino::jack
