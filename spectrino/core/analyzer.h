// The analyzer behind the main window, on any window system: owns the capture, the driver host
// and the filter bank, keeps the device list, the settings and their persistence, and answers
// the spectrum's refresh with 128 band levels. The window it drives is reached through
// AnalyzerWindow; menu items and test-panel buttons are commands with fixed ids.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "asio/DASIOHost.h"
#include "asio/buffer_types.h"
#include "capture/wavein.h"
#include "core/audio_devices.h"
#include "core/colour_settings.h"
#include "core/settings_baseline.h"
#include "core/spectrum_control.h"
#include "core/window_place.h"
#include "filterbank/utonebank.h"

namespace spectrino {

// Command ids of the menu items and test-panel buttons; the grouped ones add the item's tag.
enum TCommand : int {
    cmOn = 1,
    cmPeakHold,
    cmPeakDecay,
    cmColors,
    cmAlwaysOnTop,
    cmRate44100,
    cmRate48000,
    cmControlPanel,
    cmAbout,
    cmTestDevice,
    cmTestSilence,
    cmTestNoise,
    cmTestRand,
    cmDecayTime = 100,  // + 1 slow, 2 medium, 3 fast
    cmWindowing =
        200,  // + 0 .. 5: rectangular, Blackman, Gaussian, Blackman-Harris, Hanning, Hamming
    cmInputMode = 300,  // + 1 .. 4: left + right, left, right, left - right
    cmDevice = 1000,    // + index in the device list
};

// One of the test panel's level boxes, in whole decibels. Equal bounds mean no limit at all.
struct TLevelBox {
    int Minimum;
    int Maximum;
    int Value;  // at start

    bool Unlimited() const { return Minimum == Maximum; }
};
inline constexpr TLevelBox kNoiseLevelBox{-80, -1, -30};
inline constexpr TLevelBox kRandLowLevelBox{-280, -1, -72};
inline constexpr TLevelBox kRandHighLevelBox{0, 0, -5};

// What the three level boxes hold.
struct TTestLevels {
    int Noise = kNoiseLevelBox.Value;
    int RandLow = kRandLowLevelBox.Value;
    int RandHigh = kRandHighLevelBox.Value;
};

// The main window's place and outer size as designed, and the colour of its panel texts.
inline constexpr TWindowPlace kDesignPlace{672, 290, 464, 346};
inline constexpr TColor kPanelFontColor = 0xFFC0C0;

// Window states as the settings store them.
enum class TWindowState : int { Normal = 0, Minimized = 1, Maximized = 2 };

// What the analyzer needs from the main window of a front end.
class AnalyzerWindow {
public:
    virtual ~AnalyzerWindow() = default;

    virtual void SetChecked(int command, bool checked) = 0;
    virtual void SetCommandVisible(int command, bool visible) = 0;
    // Replaces the Device menu: item i has the command cmDevice + i, none checked.
    virtual void SetDeviceItems(const std::vector<std::string>& captions) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void EnableTestLevels(bool noise, bool rand) = 0;
    virtual TTestLevels TestLevels() const = 0;
    virtual void SetTopmost(bool topmost) = 0;
    // While running, the window calls ResumeWaveCapture once a second.
    virtual void SetResumeTimer(bool running) = 0;
    // The wait cursor on or off.
    virtual void SetBusy(bool busy) = 0;
    // Runs the colour dialog on the settings; true when the user confirmed them.
    virtual bool EditColours(TColourSettings& settings) = 0;
    virtual void ShowAbout() = 0;

    // Placement: the restored outer rectangle, the frame (null until known), the screens'
    // work areas and the smallest outer size the window can take.
    virtual TBox NormalOuterRect() const = 0;
    virtual TFrame Frame() const = 0;
    virtual std::vector<TBox> ScreenAreas() const = 0;
    virtual TBox MinimumOuterSize() const = 0;
    // Puts the window's outer rectangle there; with `outerOnceFramed`, again once the window
    // system's frame is known.
    virtual void PlaceWindow(const TBox& outer, bool outerOnceFramed) = 0;
    virtual TWindowState WindowState() const = 0;
    virtual void SetWindowState(TWindowState state) = 0;
};

class TAnalyzer {
public:
    // Capture goes through the system's wave-input service unless another is given. Nothing
    // is opened yet; the window calls Start once it is made.
    TAnalyzer(AnalyzerWindow& window, SpectrumControl& spectrum,
              platform::WaveInService* waveService = nullptr);
    // Runs Shutdown when the window has not.
    ~TAnalyzer();

    TAnalyzer(const TAnalyzer&) = delete;
    TAnalyzer& operator=(const TAnalyzer&) = delete;

    // Start-up: the bank at 44100 Hz and the default choices, before the window shows.
    void Start();
    // When the window first shows: the device list, the design place, then the stored settings.
    void Show();
    // Stores the settings and stops every input; the spectrum is cleared.
    void Shutdown();

    // A menu item or test-panel button.
    void Command(int command);
    // Fills 128 fresh levels for the spectrum.
    void Refresh(TSpectArray& values);

    // Device selection.
    void UpdateDevices();
    void AddAudioDevice(std::unique_ptr<TAudioDevice> device);
    void SetDevice(const std::string& caption);
    void SetAudioDevice(int32_t index);
    // Re-reads the wave sources before the Device menu opens; driver entries stay as probed.
    void RefreshDevices();
    // Once a second while the wave capture is down: reopens it when its source is back.
    void ResumeWaveCapture();

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
    void SetOn(bool on);
    void SetTopmost(bool topmost);
    void SetTestMode(uint16_t mode);
    void EditColours();

    // Input routing: one captured block in, mono samples into the filter bank.
    void WaveIn1Data(TWaveIn& sender, const int16_t* ptr);
    // Runs on the ASIO driver's thread.
    void ASIOHostBufferSwitch32(const TQorArrayOfSingleDynArray& inBuffer,
                                TQorArrayOfSingleDynArray& outBuffer);

    int32_t Samplerate() const { return FSamplerate; }
    int32_t InputMode() const { return FInputMode; }
    int32_t DecayTime() const { return FDecayTime; }
    int32_t WindowType() const { return FWindowType; }
    uint16_t TestMode() const { return FTestMode; }
    bool On() const { return on_; }
    bool Topmost() const { return topmost_; }
    TGoertzel* Goertzel() const { return FGoertzel.get(); }
    const TAudioDevice* CurrentDevice() const { return FCurrentDevice; }
    const std::vector<std::unique_ptr<TAudioDevice>>& Devices() const { return FDevices; }
    const float* Samples() const { return FSamples.data(); }
    // The settings key below the current user's root.
    static std::string ConfigKeyPath();

private:
    // The settings as StoreConfig writes them, in that order.
    TSettings CurrentSettings() const;
    // Once, naming where the settings should have gone.
    void ReportUnsavedSettings();
    // Appends the wave sources, then every stereo input pair of each usable driver.
    void ListDevices(const std::vector<std::string>& names);
    void ShowDevices();
    void WaveIn1DeviceLost();
    // Opens or closes the current wave device; raises what opening raises.
    void SetWaveCapture(bool on);
    void SetCaptureDown(bool down);
    // "WaveMapper" first, then every source, as the wave input lists them now.
    std::vector<std::string> WaveSourceNames();
    bool WaveSourceListed(const std::string& name);
    void CheckOnly(int first, int last, int checked);

    AnalyzerWindow& window_;
    SpectrumControl& spectrum_;
    bool on_ = true;
    bool topmost_ = false;
    bool shutDown_ = false;
    int32_t FSamplerate = -1;
    // Read by the ASIO thread, written by the main thread.
    std::atomic<int32_t> FInputMode = 0;
    int32_t FDecayTime = 0;
    int32_t FWindowType = 0;
    std::array<float, 65536> FSamples{};
    // Keeps a feed from another thread apart from the release or replacement of FGoertzel.
    std::mutex FLock;
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
    TSettingsBaseline settingsBaseline_;
    std::mt19937 random_;

public:
    // Last, so they go first: no capture thread outlives the bank, the lock or the devices
    // it reads.
    std::unique_ptr<TWaveIn> WaveIn1;
    std::unique_ptr<TASIOHost> ASIOHost;
};

}  // namespace spectrino
