#include "control_panel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

namespace spectrino::alsa {

ControlPanel::ControlPanel(const Settings& current, const std::vector<std::string>& devices,
                           std::function<void(const Settings&)> accepted)
    : base_(current),
      accepted_(std::move(accepted)),
      device_(new QComboBox(this)),
      periodSize_(new QSpinBox(this)),
      periods_(new QSpinBox(this)) {
    setObjectName("AlsaControlPanel");
    setWindowTitle(QString::fromUtf8(kDriverName));
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

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QFormLayout(this);
    layout->addRow("Device:", device_);
    layout->addRow("Period size:", periodSize_);
    layout->addRow("Periods:", periods_);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, [this] { accepted_(Edited()); });
}

void ControlPanel::Present() {
    show();
    raise();
    activateWindow();
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
