#include "control_panel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

namespace spectrino::jack {

ControlPanel::ControlPanel(const Settings& current, const std::vector<std::string>& sources,
                           const std::function<void(const Settings&)>& accepted)
    : DriverPanel(kDriverName, "JackControlPanel", [this, accepted] { accepted(Edited()); }),
      server_(new QLineEdit(QString::fromStdString(current.serverName), this)),
      client_(new QLineEdit(QString::fromStdString(current.clientName), this)),
      inputs_(new QSpinBox(this)),
      outputs_(new QSpinBox(this)),
      connect_(new QComboBox(this)) {
    server_->setObjectName("ServerName");
    server_->setPlaceholderText("default");
    client_->setObjectName("ClientName");
    inputs_->setObjectName("Inputs");
    inputs_->setRange(0, kMaxChannels);
    inputs_->setValue(current.inputs);
    outputs_->setObjectName("Outputs");
    outputs_->setRange(0, kMaxChannels);
    outputs_->setValue(current.outputs);
    connect_->setObjectName("Connect");
    connect_->setEditable(true);  // a list, or ports of a server not running now
    connect_->addItem(QString());
    for (const std::string& source : sources) {
        connect_->addItem(QString::fromStdString(source));
    }
    connect_->setCurrentText(QString::fromStdString(JoinPortList(current.connect)));
    connect_->setToolTip("Ports to connect In 1, In 2, ... to, separated by commas");
    AddRow("Server:", server_);
    AddRow("Client name:", client_);
    AddRow("Inputs:", inputs_);
    AddRow("Outputs:", outputs_);
    AddRow("Connect inputs to:", connect_);
}

Settings ControlPanel::Edited() const {
    Settings edited;
    edited.serverName = server_->text().trimmed().toStdString();
    const QString client = client_->text().trimmed();
    if (!client.isEmpty()) {
        edited.clientName = client.toStdString();
    }
    edited.inputs = inputs_->value();
    edited.outputs = outputs_->value();
    edited.connect = SplitPortList(connect_->currentText().toStdString());
    return edited;
}

}  // namespace spectrino::jack
