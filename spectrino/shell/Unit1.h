// The main window and controller of the analysis chain: owns the filter bank, answers the
// spectrum's refresh with 128 band levels, and carries the menus and the hidden test panel.
#pragma once

#include <QMainWindow>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "asio/DASIOHost.h"
#include "core/app_info.h"
#include "asio/buffer_types.h"
#include "capture/wavein.h"
#include "display/spectrum.h"
#include "filterbank/utonebank.h"
#include "shell/audio_devices.h"
#include "shell/settings_baseline.h"

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

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // Builds the window's components, then runs FormCreate. Capture goes through the system's
    // wave-input service unless another is given.
    explicit TForm1(QWidget* parent = nullptr, platform::WaveInService* waveService = nullptr);
    // Runs FormDestroy.
    ~TForm1() override;

    // The dialogs the menus open; the application makes them after the main window.
    void SetDialogs(TForm2* colours, TForm3* about);

    // Start-up and the refresh cycle.
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void Spectrum1Refresh(TSpectrum& sender, TSpectArray& values);

    // Window commands.
    void On1Click();
    void Alwaysontop1Click();
    void About1Click();
    void RadioButton1Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void RadioButton6Click();
    void Panel1DblClick();
    void GroupBox2DblClick();
    void Spectrum1DblClick();

    // Input routing: one captured block in, mono samples into the filter bank.
    void WaveIn1Data(TWaveIn& sender, const int16_t* ptr);
    // Runs on the ASIO driver's thread.
    void ASIOHostBufferSwitch32(const TQorArrayOfSingleDynArray& inBuffer,
                                TQorArrayOfSingleDynArray& outBuffer);

    // Device selection.
    void UpdateDevices();
    // Appends one entry to the device list and its item to the Device menu.
    void AddAudioDevice(std::unique_ptr<TAudioDevice> device);
    void DeviceClick(QAction* item);
    void SetDevice(const std::string& caption);
    void SetAudioDevice(int32_t index);
    void ControlPanel1Click();
    // Re-reads the wave sources before the Device menu opens; driver entries stay as probed.
    void RefreshDevices();

    // Settings and their persistence.
    void ReadConfig();
    void StoreConfig();
    void SetPeakHold();
    void SetPeakDecay();
    void SetDecayTime(int32_t code);
    void SetWindowType(int32_t code);
    void SetHighTresh(int32_t threshold);
    void SetMidTresh(int32_t threshold);
    void SetSamplerate(int32_t rate);
    void SetInputMode(int32_t mode);
    void Colors1Click();

    // Menu handlers shared by several items; they read the item's tag.
    void DecayTimeClick(QAction* item);
    void WindowingClick(QAction* item);
    void InputModeClick(QAction* item);

    // State the tests and later parts look at.
    int32_t Samplerate() const { return FSamplerate; }
    int32_t InputMode() const { return FInputMode; }
    int32_t DecayTime() const { return FDecayTime; }
    int32_t WindowType() const { return FWindowType; }
    uint16_t TestMode() const { return FTestMode; }
    TGoertzel* Goertzel() const { return FGoertzel.get(); }
    const TAudioDevice* CurrentDevice() const { return FCurrentDevice; }
    const std::vector<std::unique_ptr<TAudioDevice>>& Devices() const { return FDevices; }
    const float* Samples() const { return FSamples.data(); }
    // The settings key below the current user's root.
    static std::string ConfigKeyPath();

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
    std::unique_ptr<TWaveIn> WaveIn1;
    std::unique_ptr<TASIOHost> ASIOHost;

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
    void SetTestMode(uint16_t mode, bool noise, bool rand);
    void TogglePanel1();
    // Puts the window's outer rectangle there; with `outerOnceFramed`, again once the window
    // manager's frame is known.
    void PlaceWindow(const QRect& outer, bool outerOnceFramed);
    QSize MinimumOuterSize() const;
    // The settings as StoreConfig writes them, in that order.
    TSettings CurrentSettings() const;
    // Once, naming where the settings should have gone.
    void ReportUnsavedSettings();

    void WaveIn1DeviceLost();
    void MoveWindowTopmost(bool topmost);
    // Opens or closes the current wave device; raises what opening raises.
    void SetWaveCapture(bool on);
    void SetCaptureDown(bool down);
    // Once a second while the wave capture is down: reopens it when its source is back.
    void ResumeWaveCapture();
    // "WaveMapper" first, then every source, as the wave input lists them now.
    std::vector<std::string> WaveSourceNames();
    bool WaveSourceListed(const std::string& name);
    void AddDeviceItem(size_t index);

    int32_t FSamplerate = -1;
    // Read by the ASIO thread, written by the main thread.
    std::atomic<int32_t> FInputMode = 0;
    int32_t FDecayTime = 0;
    int32_t FWindowType = 0;
    std::array<float, 65536> FSamples{};
    // Keeps a feed from another thread apart from the release or replacement of FGoertzel.
    std::unique_ptr<std::mutex> FLock;
    std::unique_ptr<TGoertzel> FGoertzel;
    uint16_t FTestMode = 0;
    std::vector<std::unique_ptr<TAudioDevice>> FDevices;
    std::atomic<TAudioDevice*> FCurrentDevice = nullptr;
    // The current wave entry while its source is missing from the list; it stays current, so
    // it is stored and comes back into the list with its source.
    std::unique_ptr<TAudioDevice> FAbsentDevice;
    // The current wave device should capture but is closed (it failed to open or went away);
    // choosing it again retries.
    bool captureDown_ = false;
    // Reopen at the next tick that finds the source listed. Set when the device is lost and
    // when its source is seen missing, so a device that refuses to open is not retried forever.
    bool resumeArmed_ = false;
    QTimer* resumeTimer_ = nullptr;

    bool shown_ = false;
    std::optional<QRect> pendingOuter_;
    TSettingsBaseline settingsBaseline_;
    std::mt19937 random_;
    TForm2* colours_ = nullptr;
    TForm3* about_ = nullptr;
};

}  // namespace spectrino
