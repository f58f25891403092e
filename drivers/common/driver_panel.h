// The frame of a driver's settings window: a form of fields above OK and Cancel; OK hands the
// edited settings on.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "asio/asio_records.h"

class QFormLayout;

namespace spectrino::drivers {

class DriverPanel : public QDialog {
public:
    DriverPanel(const char* title, const QString& objectName, std::function<void()> accepted);

    // Adds a field above the buttons.
    void AddRow(const QString& label, QWidget* field);
    // Shows the window (again) and brings it to the front.
    void Present();

private:
    QFormLayout* layout_;
};

// Shows the panel, made by `make` the first time. Without a Qt application there are no widgets
// to show it with.
ASIOError ShowPanel(std::unique_ptr<DriverPanel>& panel,
                    const std::function<std::unique_ptr<DriverPanel>()>& make);

}  // namespace spectrino::drivers
