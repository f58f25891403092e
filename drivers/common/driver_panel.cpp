#include "common/driver_panel.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>

namespace spectrino::drivers {

DriverPanel::DriverPanel(const char* title, const QString& objectName,
                         std::function<void()> accepted)
    : layout_(new QFormLayout(this)) {
    setObjectName(objectName);
    setWindowTitle(QString::fromUtf8(title));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout_->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, std::move(accepted));
}

void DriverPanel::AddRow(const QString& label, QWidget* field) {
    layout_->insertRow(layout_->rowCount() - 1, label, field);
}

void DriverPanel::Present() {
    show();
    raise();
    activateWindow();
}

ASIOError ShowPanel(std::unique_ptr<DriverPanel>& panel,
                    const std::function<std::unique_ptr<DriverPanel>()>& make) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return ASE_NotPresent;
    }
    if (!panel) {
        panel = make();
    }
    panel->Present();
    return ASE_OK;
}

}  // namespace spectrino::drivers
