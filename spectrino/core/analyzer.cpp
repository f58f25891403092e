#include "core/analyzer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>

#include "core/app_info.h"
#include "core/bandlevel.h"
#include "core/commandline.h"
#include "core/input_routing.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "platform/hive_file.h"
#include "platform/registry.h"

namespace spectrino {

namespace {

constexpr int kWaveBlockSize = 2048;

// A channel record's name: up to 32 characters, ending at the first zero.
std::string ChannelName(const ASIOChannelInfo& info) {
    return std::string(info.name, strnlen(info.name, sizeof(info.name)));
}

// A level box's whole decibels as a level, held to the range a level can take.
int32_t SaturatedHundredths(int decibels) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{decibels} * 100, INT32_MIN, INT32_MAX));
}

// The wait cursor for as long as it lives, also when the work in between throws.
class BusyScope {
public:
    explicit BusyScope(AnalyzerWindow& window) : window_(window) { window_.SetBusy(true); }
    ~BusyScope() { window_.SetBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    AnalyzerWindow& window_;
};

}  // namespace

TAnalyzer::TAnalyzer(AnalyzerWindow& window, SpectrumControl& spectrum,
                     platform::WaveInService* waveService)
    : window_(window), spectrum_(spectrum), random_(std::random_device{}()) {
    WaveIn1 =
        std::make_unique<TWaveIn>(waveService != nullptr ? *waveService : platform::SystemWaveIn());
    WaveIn1->OnData = [this](TWaveIn& sender, const int16_t* ptr) { WaveIn1Data(sender, ptr); };
    WaveIn1->OnDeviceLost = [this](TWaveIn&) { WaveIn1DeviceLost(); };
    // Reads the installed drivers at once; a driver is only opened when a device needs it.
    ASIOHost = std::make_unique<TASIOHost>();
    ASIOHost->SetSampleRate(44100.0);
    ASIOHost->OnBufferSwitch32 = [this](TCustomASIOHost&, const TQorArrayOfSingleDynArray& in,
                                        TQorArrayOfSingleDynArray& out) {
        ASIOHostBufferSwitch32(in, out);
    };
}

TAnalyzer::~TAnalyzer() {
    if (!shutDown_) {
        Guarded([this] { Shutdown(); });
    }
}

void TAnalyzer::Start() {
    FCurrentDevice = nullptr;
    FDevices.clear();
    FTestMode = 0;
    FGoertzel.reset();
    FInputMode = 0;
    FWindowType = 0;
    FSamplerate = -1;
    WaveIn1->SetBlockSize(kWaveBlockSize);
    LoadAppInfo();
    window_.SetChecked(cmOn, on_);
    SetSamplerate(44100);
    SetPeakDecay();
    SetDecayTime(1);
    SetInputMode(1);
}

void TAnalyzer::Show() {
    UpdateDevices();
    // The design-time place is the outer rectangle; on a small screen it is moved in.
    const TBox minimum = window_.MinimumOuterSize();
    window_.PlaceWindow(
        FitToScreens(kDesignPlace, window_.ScreenAreas(), minimum.Width, minimum.Height), true);
    ReadConfig();
}

void TAnalyzer::Shutdown() {
    shutDown_ = true;
    StoreConfig();
    Guarded([this] {
        WaveIn1->SetEnabled(false);
        ASIOHost->SetActive(false);
        ASIOHost->SetDriverIndex(-1);
    });
    window_.SetResumeTimer(false);
    spectrum_.SetEnabled(false);
    {
        std::lock_guard guard(FLock);
        FGoertzel.reset();
    }
    FCurrentDevice = nullptr;
    FDevices.clear();
}

void TAnalyzer::Command(int command) {
    if (command >= cmDevice) {
        SetAudioDevice(command - cmDevice);
    } else if (command >= cmInputMode) {
        SetInputMode(command - cmInputMode);
    } else if (command >= cmWindowing) {
        SetWindowType(command - cmWindowing);
    } else if (command >= cmDecayTime) {
        SetDecayTime(command - cmDecayTime);
    } else {
        switch (command) {
            case cmOn:
                SetOn(!on_);
                break;
            case cmPeakHold:
                SetPeakHold();
                break;
            case cmPeakDecay:
                SetPeakDecay();
                break;
            case cmColors:
                EditColours();
                break;
            case cmAlwaysOnTop:
                SetTopmost(!topmost_);
                break;
            case cmRate44100:
                SetSamplerate(44100);
                break;
            case cmRate48000:
                SetSamplerate(48000);
                break;
            case cmControlPanel:
                ASIOHost->ControlPanel();
                break;
            case cmAbout:
                window_.ShowAbout();
                break;
            case cmTestDevice:
            case cmTestSilence:
            case cmTestNoise:
            case cmTestRand:
                SetTestMode(static_cast<uint16_t>(command - cmTestDevice));
                break;
            default:
                break;
        }
    }
}

void TAnalyzer::Refresh(TSpectArray& values) {
    switch (FTestMode) {
        case 0:
            for (int i = 0; i < kBandCount; ++i) {
                values[i] = FGoertzel ? BandLevel(FGoertzel->GetResult(i)) : kFloorLevel;
            }
            break;
        case 1:
            values.fill(kFloorLevel);
            break;
        case 2:
            values.fill(SaturatedHundredths(window_.TestLevels().Noise));
            break;
        default: {
            // The upper box takes any integer; its hundredths may not fit a level.
            const TTestLevels levels = window_.TestLevels();
            const int32_t lo = SaturatedHundredths(levels.RandLow);
            const int32_t hi = SaturatedHundredths(levels.RandHigh);
            if (lo == hi) {
                values.fill(lo);
                break;
            }
            // From the lower bound inclusive to the upper one exclusive.
            std::uniform_int_distribution<int32_t> draw(std::min(lo, hi), std::max(lo, hi) - 1);
            for (int32_t& v : values) {
                v = draw(random_);
            }
            break;
        }
    }
}

void TAnalyzer::SetOn(bool on) {
    on_ = on;
    window_.SetChecked(cmOn, on);
    spectrum_.SetEnabled(on);
    if (const TAudioDevice* device = FCurrentDevice; device != nullptr) {
        if (device->IsASIO) {
            ASIOHost->SetActive(on);
        } else {
            SetWaveCapture(on);
        }
    }
}

void TAnalyzer::SetTopmost(bool topmost) {
    topmost_ = topmost;
    window_.SetChecked(cmAlwaysOnTop, topmost);
    window_.SetTopmost(topmost);
}

void TAnalyzer::SetTestMode(uint16_t mode) {
    FTestMode = mode;
    window_.EnableTestLevels(mode == 2, mode == 3);
}

void TAnalyzer::CheckOnly(int first, int last, int checked) {
    for (int command = first; command <= last; ++command) {
        window_.SetChecked(command, command == checked);
    }
}

void TAnalyzer::WaveIn1Data(TWaveIn& sender, const int16_t* ptr) {
    const uint32_t frames = std::min<uint32_t>(sender.BlockSize(), FSamples.size());
    MixWaveFrames(ptr, frames, FInputMode, FSamples.data());
    if (FGoertzel) {
        FGoertzel->AddSamples(FSamples.data(), static_cast<int32_t>(frames));
    }
}

void TAnalyzer::ASIOHostBufferSwitch32(const TQorArrayOfSingleDynArray& inBuffer,
                                       TQorArrayOfSingleDynArray&) {
    // Never wait on the audio thread: while the main thread swaps the bank, this block is
    // dropped (the new bank starts empty anyway).
    std::unique_lock lock(FLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        return;
    }
    const TAudioDevice* device = FCurrentDevice;
    if (device == nullptr || !device->IsASIO || device->ASIOChannel < 0 ||
        static_cast<size_t>(device->ASIOChannel) + 1 >= inBuffer.size()) {
        return;
    }
    const TSingleDynArray& left = inBuffer[static_cast<size_t>(device->ASIOChannel)];
    const TSingleDynArray& right = inBuffer[static_cast<size_t>(device->ASIOChannel) + 1];
    const size_t frames = std::min({left.size(), right.size(), FSamples.size()});
    MixChannels(left.data(), right.data(), frames, FInputMode, FSamples.data());
    if (FGoertzel) {
        FGoertzel->AddSamples(FSamples.data(), static_cast<int32_t>(frames));
    }
}

void TAnalyzer::UpdateDevices() {
    // Listing the sources and loading every driver takes a moment before the window first
    // paints.
    const BusyScope busy(window_);
    const std::vector<std::string> names = WaveSourceNames();
    // The menu is made once, when the list is complete, or with what was found when probing a
    // driver throws.
    try {
        ListDevices(names);
    } catch (...) {
        ShowDevices();
        throw;
    }
    ShowDevices();
}

void TAnalyzer::ListDevices(const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        FDevices.push_back(
            std::make_unique<TAudioDevice>(false, names[i], names[i], static_cast<int32_t>(i)));
    }
    if (!NoASIO) {
        const std::vector<std::string> drivers = ASIOHost->DriverList();
        for (size_t d = 0; d < drivers.size(); ++d) {
            ASIOHost->SetDriverIndex(static_cast<int>(d));
            // Only drivers that offer both of the analyzer's rates.
            if (ASIOHost->CanSampleRate(44100.0) != 0 || ASIOHost->CanSampleRate(48000.0) != 0) {
                continue;
            }
            const int pairs = ASIOHost->InputChannelCount() / 2;
            for (int a = 0; a < pairs; ++a) {
                ASIOChannelInfo left{}, right{};
                ASIOHost->GetChannelInfo(2 * a, left);
                ASIOHost->GetChannelInfo(2 * a + 1, right);
                const std::string caption = ChannelName(left) + " / " + ChannelName(right) + " [" +
                                            ASIOHost->DriverName() + "]";
                FDevices.push_back(
                    std::make_unique<TAudioDevice>(true, caption, ASIOHost->DriverName(), 2 * a));
            }
        }
    }
    ASIOHost->SetDriverIndex(-1);
}

void TAnalyzer::AddAudioDevice(std::unique_ptr<TAudioDevice> device) {
    FDevices.push_back(std::move(device));
    ShowDevices();
}

void TAnalyzer::ShowDevices() {
    std::vector<std::string> captions;
    int checked = -1;
    for (size_t i = 0; i < FDevices.size(); ++i) {
        captions.push_back(FDevices[i]->Caption);
        if (FDevices[i].get() == FCurrentDevice) {
            checked = static_cast<int>(i);
        }
    }
    window_.SetDeviceItems(captions);
    if (checked >= 0) {
        window_.SetChecked(cmDevice + checked, true);
    }
}

void TAnalyzer::RefreshDevices() {
    // Probing drivers again would close the running one, so only wave sources are re-read;
    // read first, so a failure leaves the list as it was.
    const std::vector<std::string> names = WaveSourceNames();
    TAudioDevice* const current = FCurrentDevice;
    std::vector<std::unique_ptr<TAudioDevice>> old = std::move(FDevices);
    FDevices.clear();
    // The current entry is carried over, never remade: it is what the audio thread reads.
    std::unique_ptr<TAudioDevice> kept = std::move(FAbsentDevice);
    std::vector<std::unique_ptr<TAudioDevice>> drivers;
    for (std::unique_ptr<TAudioDevice>& device : old) {
        if (device->IsASIO) {
            drivers.push_back(std::move(device));
        } else if (device.get() == current) {
            kept = std::move(device);
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        const auto position = static_cast<int32_t>(i);
        if (kept && kept->Caption == names[i]) {
            kept->WaveIndex = position;
            FDevices.push_back(std::move(kept));
        } else {
            FDevices.push_back(std::make_unique<TAudioDevice>(false, names[i], names[i], position));
        }
    }
    for (std::unique_ptr<TAudioDevice>& device : drivers) {
        FDevices.push_back(std::move(device));
    }
    FAbsentDevice = std::move(kept);
    ShowDevices();
    // Entries that went are freed out of the audio thread's reach.
    std::lock_guard guard(FLock);
    old.clear();
}

void TAnalyzer::SetDevice(const std::string& caption) {
    for (size_t i = 0; i < FDevices.size(); ++i) {
        if (FDevices[i]->Caption == caption) {
            SetAudioDevice(static_cast<int32_t>(i));
            return;
        }
    }
    SetAudioDevice(0);
}

void TAnalyzer::SetAudioDevice(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= FDevices.size()) {
        return;
    }
    TAudioDevice* device = FDevices[static_cast<size_t>(index)].get();
    // The current entry again restarts only what is down: a wave capture, or a driver that
    // could not be reopened after a reset (its server went away).
    const bool driverDown = device->IsASIO && !ASIOHost->DriverOpen();
    if (device == FCurrentDevice && !captureDown_ && !driverDown) {
        return;
    }
    CheckOnly(cmDevice, cmDevice + static_cast<int>(FDevices.size()) - 1, cmDevice + index);
    // Stop everything before the current entry changes, so the audio thread never sees a
    // half-changed entry.
    ASIOHost->SetDriverIndex(-1);
    ASIOHost->SetActive(false);
    SetWaveCapture(false);

    FCurrentDevice = device;
    {
        std::lock_guard guard(FLock);
        FAbsentDevice.reset();
    }
    window_.SetCommandVisible(cmControlPanel, device->IsASIO);
    if (device->IsASIO) {
        ASIOHost->SetSampleRate(FSamplerate);
        ASIOHost->SetDriverName(device->DeviceName);
        // Opening takes the driver's own rate; ask it for the analyzer's, or every band
        // would be measured off by the ratio of the two rates.
        ASIOHost->SetSampleRate(FSamplerate);
        if (on_) {
            ASIOHost->SetActive(true);
        }
    } else {
        WaveIn1->SetSampleRate(static_cast<uint32_t>(FSamplerate));
        WaveIn1->SetCurrentDevice(device->DeviceName);
        if (on_) {
            SetWaveCapture(true);
        }
    }
    window_.SetCaption(device->Caption.empty() ? AppProductName
                                               : AppProductName + " [" + device->Caption + "]");
}

void TAnalyzer::SetWaveCapture(bool on) {
    // A failed open leaves the component enabled but closed, so it is switched off first.
    WaveIn1->SetEnabled(false);
    SetCaptureDown(false);
    if (!on) {
        return;
    }
    // Marked down until the open succeeds: a failure leaves here by exception.
    SetCaptureDown(true);
    try {
        WaveIn1->SetEnabled(true);
    } catch (const Exception&) {
        // A missing source is waited for; one that is there and refuses is tried again only
        // after it went and came back.
        resumeArmed_ = !WaveSourceListed(WaveIn1->CurrentDevice());
        throw;
    }
    SetCaptureDown(false);
}

void TAnalyzer::SetCaptureDown(bool down) {
    if (!down || !captureDown_) {
        window_.SetResumeTimer(down);
    }
    captureDown_ = down;
}

std::vector<std::string> TAnalyzer::WaveSourceNames() {
    std::vector<std::string> names;
    const uint32_t count = WaveIn1->Count();
    for (uint32_t i = 0; i < count; ++i) {
        names.push_back(WaveIn1->DeviceName(static_cast<int>(i)));
    }
    return names;
}

bool TAnalyzer::WaveSourceListed(const std::string& name) {
    const std::vector<std::string> names = WaveSourceNames();
    // The mapper is always listed first; it can open while any source is there.
    if (name == names.front()) {
        return names.size() > 1;
    }
    return std::find(names.begin() + 1, names.end(), name) != names.end();
}

void TAnalyzer::ResumeWaveCapture() {
    const TAudioDevice* device = FCurrentDevice;
    if (!captureDown_ || device == nullptr || device->IsASIO || !on_) {
        SetCaptureDown(false);
        return;
    }
    if (!WaveSourceListed(device->DeviceName)) {
        resumeArmed_ = true;
        return;
    }
    if (!resumeArmed_) {
        return;
    }
    try {
        SetWaveCapture(true);
        platform::DebugOutput("wavein: device back");
    } catch (const Exception&) {
        // Said once when it failed; it is tried again after its source goes and comes back.
    }
}

void TAnalyzer::WaveIn1DeviceLost() {
    platform::DebugOutput("wavein: device lost");
    SetCaptureDown(true);
    resumeArmed_ = true;
    // Show the floor rather than the last second before the loss.
    if (FGoertzel) {
        FGoertzel->Flush();
    }
}

std::string TAnalyzer::ConfigKeyPath() {
    // Without both names the path would collapse onto a key shared with other programs.
    if (AppCompanyName.empty() || AppProductName.empty()) {
        return {};
    }
    return "\\Software\\" + AppCompanyName + "\\" + AppProductName + "\\";
}

void TAnalyzer::ReadConfig() {
    if (ConfigKeyPath().empty()) {
        return;
    }
    auto key = platform::RegistryKey::Open(platform::RootKey::CurrentUser, ConfigKeyPath(),
                                           platform::Access::Read);
    // What this window holds once the stored values are applied (or none are, or the device
    // fails to start) is what it started from.
    struct Remember {
        TAnalyzer& self;
        TSettings stored;
        ~Remember() { self.settingsBaseline_.Remember(std::move(stored), self.CurrentSettings()); }
    } remember{*this, {}};
    if (!key) {
        return;
    }
    for (const TSetting& setting : CurrentSettings()) {
        remember.stored.push_back({setting.Name, ReadSetting(*key, setting.Name, setting.Value)});
    }
    // Each value stands on its own: a missing one, or one of another type, reads as absent.
    auto integer = [&](const char* name) -> std::optional<int32_t> {
        if (auto value = key->ReadInteger(name)) {
            return static_cast<int32_t>(*value);
        }
        return std::nullopt;
    };
    {
        // Earlier versions stored the client area; their values come back as they were.
        const bool outer = integer("OuterRect") == 1;
        const TFrame frame = outer ? TFrame{} : window_.Frame();
        const TBox current = window_.NormalOuterRect();
        TWindowPlace place{current.Left + frame.Left, current.Top + frame.Top,
                           current.Width - frame.Left - frame.Right,
                           current.Height - frame.Top - frame.Bottom};
        if (auto v = integer("Width")) {
            place.Width = *v;
        }
        if (auto v = integer("Height")) {
            place.Height = *v;
        }
        if (auto v = integer("Left")) {
            place.Left = *v;
        }
        if (auto v = integer("Top")) {
            place.Top = *v;
        }
        place.Left -= frame.Left;
        place.Top -= frame.Top;
        place.Width += frame.Left + frame.Right;
        place.Height += frame.Top + frame.Bottom;
        const TBox minimum = window_.MinimumOuterSize();
        window_.PlaceWindow(
            FitToScreens(place, window_.ScreenAreas(), minimum.Width, minimum.Height), outer);
    }
    if (auto v = integer("State")) {
        if (*v == 1) {
            window_.SetWindowState(TWindowState::Minimized);
        } else if (*v == 2) {
            window_.SetWindowState(TWindowState::Maximized);
        }
    }
    if (auto v = integer("TopMost"); v && *v != 0) {
        SetTopmost(true);
    }
    SetSamplerate(integer("Samplerate").value_or(0));
    if (integer("PeakHold").value_or(0) == 1) {
        SetPeakHold();
    } else {
        SetPeakDecay();
    }
    SetDecayTime(integer("DecayTime").value_or(0));
    SetWindowType(integer("WindowType").value_or(0));
    SetInputMode(integer("InputMode").value_or(0));
    if (auto v = integer("HighColor"); v && *v != 0) {
        spectrum_.SetHighColor(static_cast<TColor>(*v));
    }
    if (auto v = integer("MidColor"); v && *v != 0) {
        spectrum_.SetMidColor(static_cast<TColor>(*v));
    }
    if (auto v = integer("LowColor"); v && *v != 0) {
        spectrum_.SetLowColor(static_cast<TColor>(*v));
    }
    if (auto v = integer("HighTresh"); v && *v < 0) {
        SetHighTresh(*v);
    }
    if (auto v = integer("MidTresh"); v && *v < 0) {
        SetMidTresh(*v);
    }
    const std::string device = key->ReadString("Device").value_or(std::string());
    key->Close();
    SetDevice(device);
}

void TAnalyzer::StoreConfig() {
    if (ConfigKeyPath().empty()) {
        return;
    }
    auto key = platform::RegistryKey::Open(platform::RootKey::CurrentUser, ConfigKeyPath(),
                                           platform::Access::ReadWrite);
    if (!key) {
        ReportUnsavedSettings();
        return;
    }
    bool saved = true;
    for (const TSetting& setting : CurrentSettings()) {
        // The key shows the file as it is now, with what other instances stored.
        if (settingsBaseline_.ShouldWrite(setting,
                                          ReadSetting(*key, setting.Name, setting.Value))) {
            saved = WriteSetting(*key, setting) && saved;
        }
    }
    saved = key->Close() && saved;
    if (!saved) {
        ReportUnsavedSettings();
    }
}

TSettings TAnalyzer::CurrentSettings() const {
    // The restored outer rectangle, also while minimised or maximised.
    const TBox place = window_.NormalOuterRect();
    const TAudioDevice* device = FCurrentDevice;
    const auto integer = [](int64_t value) { return TSettingValue(static_cast<uint32_t>(value)); };
    return {
        {"Device", device != nullptr ? device->Caption : std::string()},
        {"Samplerate", integer(FSamplerate)},
        {"PeakHold", integer(spectrum_.PeakDisplay() == TPeakDisplay::pdHold ? 1 : 0)},
        {"DecayTime", integer(FDecayTime)},
        {"WindowType", integer(FWindowType)},
        {"InputMode", integer(FInputMode)},
        {"HighColor", integer(spectrum_.HighColor())},
        {"MidColor", integer(spectrum_.MidColor())},
        {"LowColor", integer(spectrum_.LowColor())},
        {"HighTresh", integer(spectrum_.HighTreshhold())},
        {"MidTresh", integer(spectrum_.MidTreshhold())},
        {"Width", integer(place.Width)},
        {"Height", integer(place.Height)},
        {"Left", integer(place.Left)},
        {"Top", integer(place.Top)},
        {"State", integer(static_cast<int>(window_.WindowState()))},
        {"Topmost", integer(topmost_ ? 1 : 0)},
        {"OuterRect", integer(1)},  // the place above includes the frame
    };
}

void TAnalyzer::ReportUnsavedSettings() {
    std::string where = platform::HiveFilePath(platform::RootKey::CurrentUser);
    if (where.empty()) {  // the system's own registry
        where =
            std::string(platform::RootKeyName(platform::RootKey::CurrentUser)) + ConfigKeyPath();
    }
    platform::DebugOutput("settings not saved: " + where);
    ApplicationHandleException(Exception("The settings could not be saved to " + where));
}

void TAnalyzer::SetPeakHold() {
    window_.SetChecked(cmPeakHold, true);
    window_.SetChecked(cmPeakDecay, false);
    spectrum_.SetPeakDisplay(TPeakDisplay::pdHold);
}

void TAnalyzer::SetPeakDecay() {
    window_.SetChecked(cmPeakHold, false);
    window_.SetChecked(cmPeakDecay, true);
    spectrum_.SetPeakDisplay(TPeakDisplay::pdDecay);
}

void TAnalyzer::SetDecayTime(int32_t code) {
    FDecayTime = code;
    if (code == 2) {
        CheckOnly(cmDecayTime + 1, cmDecayTime + 3, cmDecayTime + 2);
        spectrum_.SetDecaySpeed(TDecaySpeed::dsMedium);
    } else if (code == 3) {
        CheckOnly(cmDecayTime + 1, cmDecayTime + 3, cmDecayTime + 3);
        spectrum_.SetDecaySpeed(TDecaySpeed::dsFast);
    } else {
        CheckOnly(cmDecayTime + 1, cmDecayTime + 3, cmDecayTime + 1);
        spectrum_.SetDecaySpeed(TDecaySpeed::dsSlow);
    }
}

void TAnalyzer::SetWindowType(int32_t code) {
    FWindowType = code;
    if (FGoertzel) {
        FGoertzel->SetWindowing(code);
    }
    CheckOnly(cmWindowing, cmWindowing + 5, cmWindowing + (code >= 1 && code <= 5 ? code : 0));
}

void TAnalyzer::SetHighTresh(int32_t threshold) {
    spectrum_.SetHighTreshhold(threshold);
}

void TAnalyzer::SetMidTresh(int32_t threshold) {
    spectrum_.SetMidTreshhold(threshold);
}

void TAnalyzer::SetSamplerate(int32_t rate) {
    if (rate == FSamplerate) {
        // The checked rate again retries a capture that could not be reopened at it.
        if (captureDown_) {
            SetWaveCapture(true);
        }
        return;
    }
    const int32_t r = rate == 48000 ? 48000 : 44100;
    spectrum_.SetSamplerate(static_cast<float>(r));

    // The new bank is built completely before it replaces the old one, so a feed from the
    // audio thread only ever sees a whole bank.
    std::unique_ptr<TGoertzel> bank;
    try {
        bank = std::make_unique<TGoertzel>(r);
        spectrum_.SetShown(true);
        for (int i = 0; i < kBandCount; ++i) {
            float centre = 0, width = 0;
            spectrum_.GetBand(i, centre, width);
            bank->AddBin(centre, width);
        }
        // A new bank starts rectangular; it measures with the window the menu shows.
        bank->SetWindowing(FWindowType);
    } catch (const Exception&) {
        bank.reset();
        spectrum_.SetShown(false);
    }
    {
        std::lock_guard guard(FLock);
        FGoertzel.swap(bank);
    }
    bank.reset();  // the old bank, out of the feed's reach

    // The whole analyzer is at the new rate before the device reopens, so a device that fails
    // to reopen leaves it consistent; choosing either rate or the device again retries.
    window_.SetChecked(cmRate44100, r == 44100);
    window_.SetChecked(cmRate48000, r == 48000);
    FSamplerate = r;

    if (const TAudioDevice* device = FCurrentDevice; device != nullptr && device->IsASIO) {
        // Reopen the driver and switch it to the new rate.
        ASIOHost->SetActive(false);
        ASIOHost->SetDriverIndex(-1);
        ASIOHost->SetSampleRate(r);
        ASIOHost->SetDriverName(device->DeviceName);
        ASIOHost->SetSampleRate(r);
        if (on_) {
            ASIOHost->SetActive(true);
        }
    } else {
        // A running capture reopens at the new rate, and so does one that was down.
        const bool running = WaveIn1->Enabled();
        WaveIn1->SetEnabled(false);
        WaveIn1->SetSampleRate(static_cast<uint32_t>(r));
        if (running) {
            SetWaveCapture(true);
        }
    }
}

void TAnalyzer::SetInputMode(int32_t mode) {
    if (mode == FInputMode) {
        return;
    }
    if (FGoertzel) {
        FGoertzel->Flush();
    }
    const int32_t m = mode >= 2 && mode <= 4 ? mode : 1;
    CheckOnly(cmInputMode + 1, cmInputMode + 4, cmInputMode + m);
    FInputMode = m;
}

void TAnalyzer::EditColours() {
    TColourSettings settings{spectrum_.HighColor(), spectrum_.MidColor(), spectrum_.LowColor(),
                             spectrum_.HighTreshhold(), spectrum_.MidTreshhold()};
    if (window_.EditColours(settings)) {
        spectrum_.SetLowColor(settings.LowColor);
        spectrum_.SetMidColor(settings.MidColor);
        spectrum_.SetHighColor(settings.HighColor);
        spectrum_.SetHighTreshhold(settings.HighTresh);
        spectrum_.SetMidTreshhold(settings.MidTresh);
    }
}

}  // namespace spectrino
