// The main window on Qt: menus, the hidden test panel and the spectrum around the analyzer,
// which decides what they show.
#pragma once

#include <QMainWindow>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/analyzer.h"
#include "core/app_info.h"
#include "display/spectrum.h"

class QAction;
class QFrame;
class QTimer;
class QGroupBox;
class QLabel;
class QMenu;
class QRadioButton;
class QSpinBox;

namespace spectrino {

class TForm2;
class TForm3;

class TForm1 : public QMainWindow, private AnalyzerWindow {
    Q_OBJECT

public:
    // Builds the window's components and starts the analyzer. Capture goes through the
    // system's wave-input service unless another is given.
    explicit TForm1(QWidget* parent = nullptr, platform::WaveInService* waveService = nullptr);
    // Stores the settings and stops the analyzer.
    ~TForm1() override;

    // The dialogs the menus open; the application makes them after the main window.
    void SetDialogs(TForm2* colours, TForm3* about);

    TAnalyzer& Analyzer() { return *analyzer_; }
    const TAnalyzer& Analyzer() const { return *analyzer_; }

    // When the window first shows: devices, place and stored settings.
    void FormShow();
    void Spectrum1Refresh(TSpectArray& values);
    void Spectrum1DblClick();

    // Components, as the form lays them out.
    QFrame* Panel1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QRadioButton* RadioButton6 = nullptr;
    QSpinBox* SpinEdit2 = nullptr;
    QSpinBox* SpinEdit3 = nullptr;
    TSpectrum* Spectrum1 = nullptr;
    QLabel* Panel2 = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* On1 = nullptr;
    QAction* PeakHold1 = nullptr;
    QAction* PeakDecay1 = nullptr;
    QAction* Fast1 = nullptr;
    QAction* Medium1 = nullptr;
    QAction* Slow1 = nullptr;
    QAction* Rectangular1 = nullptr;
    QAction* Blackman1 = nullptr;
    QAction* Gaussian1 = nullptr;
    QAction* BlackmanHarris1 = nullptr;
    QAction* Hanning1 = nullptr;
    QAction* Hamming1 = nullptr;
    QAction* LeftRight1 = nullptr;
    QAction* Left1 = nullptr;
    QAction* Right1 = nullptr;
    QAction* LeftRight2 = nullptr;
    QAction* Colors1 = nullptr;
    QAction* Alwaysontop1 = nullptr;

    QMenu* devs1 = nullptr;
    QAction* N441001 = nullptr;
    QAction* N48000Hz1 = nullptr;
    QAction* ControlPanel1 = nullptr;
    QAction* About1 = nullptr;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void CreateComponents();
    void CreateTestPanel();
    void CreateMenus();
    // An item that runs the analyzer's command; the analyzer keeps its check mark.
    QAction* AddCommand(QMenu* menu, const QString& caption, int command, bool checkable = true);
    void TogglePanel1();
    void MoveWindowTopmost(bool topmost);

    // AnalyzerWindow
    void SetChecked(int command, bool checked) override;
    void SetCommandVisible(int command, bool visible) override;
    void SetDeviceItems(const std::vector<std::string>& captions) override;
    void SetCaption(const std::string& caption) override;
    void EnableTestLevels(bool noise, bool rand) override;
    TTestLevels TestLevels() const override;
    void SetTopmost(bool topmost) override;
    void SetResumeTimer(bool running) override;
    void SetBusy(bool busy) override;
    bool EditColours(TColourSettings& settings) override;
    void ShowAbout() override;
    TBox NormalOuterRect() const override;
    TFrame Frame() const override;
    std::vector<TBox> ScreenAreas() const override;
    TBox MinimumOuterSize() const override;
    void PlaceWindow(const TBox& outer, bool outerOnceFramed) override;
    TWindowState WindowState() const override;
    void SetWindowState(TWindowState state) override;

    std::map<int, QAction*> commands_;
    QTimer* resumeTimer_ = nullptr;
    bool shown_ = false;
    std::optional<QRect> pendingOuter_;
    TForm2* colours_ = nullptr;
    TForm3* about_ = nullptr;
    std::unique_ptr<TAnalyzer> analyzer_;
};

}  // namespace spectrino
