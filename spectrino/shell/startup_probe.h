// Measures how long the program takes to put its first frame on the screen: once the watched
// widget has finished its first paint, the report gets the process's age in seconds.
#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace spectrino {

class TStartupProbe : public QObject {
    Q_OBJECT

public:
    using Report = std::function<void(double seconds)>;

    // Watches `widget` (which must outlive the probe); `report` runs once, from the event loop.
    TStartupProbe(QWidget* widget, Report report);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* widget_;
    Report report_;
    bool painted_ = false;
};

}  // namespace spectrino
