#include "control_panel.h"

#include <QComboBox>
#include <QSpinBox>

namespace spectrino::alsa {

ControlPanel::ControlPanel(const Settings& current, const std::vector<std::string>& devices,
                           const std::function<void(const Settings&)>& accepted)
    : DriverPanel(kDriverName, "AlsaControlPanel", [this, accepted] { accepted(Edited()); }),
      base_(current),
      device_(new QComboBox(this)),
      periodSize_(new QSpinBox(this)),
      periods_(new QSpinBox(this)) {
    device_->setObjectName("Device");
    device_->setEditable(true);  // PCMs defined by the user need not be hinted
    for (const std::string& name : devices) {
        device_->addItem(QString::fromStdString(name));
    }
    device_->setCurrentText(QString::fromStdString(current.device));
    periodSize_->setObjectName("PeriodSize");
    periodSize_->setRange(kMinPeriodSize, kMaxPeriodSize);
    periodSize_->setSuffix(" frames");
    periodSize_->setValue(current.periodSize);
    periods_->setObjectName("Periods");
    periods_->setRange(kMinPeriods, kMaxPeriods);
    periods_->setValue(current.periods);
    AddRow("Device:", device_);
    AddRow("Period size:", periodSize_);
    AddRow("Periods:", periods_);
}

Settings ControlPanel::Edited() const {
    Settings edited = base_;
    const QString device = device_->currentText().trimmed();
    if (!device.isEmpty()) {
        edited.device = device.toStdString();
    }
    edited.periodSize = periodSize_->value();
    edited.periods = periods_->value();
    return edited;
}

}  // namespace spectrino::alsa
