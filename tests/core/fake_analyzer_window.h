// The analyzer without a window system: a window and a spectrum that record what the analyzer
// asks of them, a settings key of the test's own, and one analyzer wired to them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "capture/fake_wavein.h"
#include "core/analyzer.h"
#include "core/app_info.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "test_environment.h"

namespace spectrino_test {

using namespace spectrino;

class FakeWindow : public AnalyzerWindow {
public:
    std::map<int, bool> checked;
    std::map<int, bool> visible;
    std::vector<std::string> deviceItems;
    std::string caption = "Spectrino";  // as designed
    bool noiseEnabled = false;
    bool randEnabled = false;
    TTestLevels levels;
    bool topmost = false;
    bool resumeTimer = false;
    int busy = 0;
    // What EditColours shows, and what the user confirms (nothing: Cancel).
    TColourSettings editedFrom;
    std::optional<TColourSettings> confirm;
    int aboutShown = 0;

    TBox normal{672, 290, 464, 346};
    TFrame frame;
    std::vector<TBox> screens{{0, 0, 1600, 1200}};
    TBox minimum{0, 0, 150, 100};
    std::vector<std::pair<TBox, bool>> placements;
    TWindowState state = TWindowState::Normal;

    void SetChecked(int command, bool value) override { checked[command] = value; }
    void SetCommandVisible(int command, bool value) override { visible[command] = value; }
    void SetDeviceItems(const std::vector<std::string>& captions) override {
        deviceItems = captions;
        checked.erase(checked.lower_bound(cmDevice), checked.end());
    }
    void SetCaption(const std::string& text) override { caption = text; }
    void EnableTestLevels(bool noise, bool rand) override {
        noiseEnabled = noise;
        randEnabled = rand;
    }
    TTestLevels TestLevels() const override { return levels; }
    void SetTopmost(bool value) override { topmost = value; }
    void SetResumeTimer(bool running) override { resumeTimer = running; }
    void SetBusy(bool value) override { busy += value ? 1 : -1; }
    bool EditColours(TColourSettings& settings) override {
        editedFrom = settings;
        if (confirm) {
            settings = *confirm;
        }
        return confirm.has_value();
    }
    void ShowAbout() override { ++aboutShown; }
    TBox NormalOuterRect() const override { return normal; }
    TFrame Frame() const override { return frame; }
    std::vector<TBox> ScreenAreas() const override { return screens; }
    TBox MinimumOuterSize() const override { return minimum; }
    // The window takes the place at once.
    void PlaceWindow(const TBox& outer, bool outerOnceFramed) override {
        placements.emplace_back(outer, outerOnceFramed);
        normal = outer;
    }
    TWindowState WindowState() const override { return state; }
    void SetWindowState(TWindowState value) override { state = value; }

    bool Checked(int command) const {
        const auto item = checked.find(command);
        return item != checked.end() && item->second;
    }
    bool Visible(int command) const {
        const auto item = visible.find(command);
        return item != visible.end() && item->second;
    }
    // The checked commands from `first` to `last`, as offsets from `first`.
    std::vector<int> CheckedOf(int first, int last) const {
        std::vector<int> out;
        for (int command = first; command <= last; ++command) {
            if (Checked(command)) {
                out.push_back(command - first);
            }
        }
        return out;
    }
    std::vector<std::string> CheckedDevices() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < deviceItems.size(); ++i) {
            if (Checked(cmDevice + static_cast<int>(i))) {
                out.push_back(deviceItems[i]);
            }
        }
        return out;
    }
};

class FakeSpectrum : public SpectrumControl {
public:
    int invalidations = 0;
    bool enabled = true;
    bool shown = true;

    void Invalidate() override { ++invalidations; }
    void SetEnabled(bool value) override { enabled = value; }
    void SetShown(bool value) override { shown = value; }
};

// The settings key of the test's own, named by AppCompanyName and AppProductName: on Linux in
// a registry directory of the test's own; on Windows below the real user root, deleted after.
class TestSettingsKey {
public:
    TestSettingsKey() {
        company_ = "Spectrino Test " + std::to_string(std::random_device{}());
#if !defined(_WIN32)
        dir_ = spectrino::test::MakeTempDirectory("spectrino-analyzer");
        if (const char* previous = std::getenv("SPECTRINO_REGISTRY_DIR")) {
            previous_ = previous;
        }
        spectrino::test::SetEnv("SPECTRINO_REGISTRY_DIR", dir_.string());
#endif
    }
    ~TestSettingsKey() {
        Apply();
        EXPECT_TRUE(
            platform::DeleteRegistryKey(platform::RootKey::CurrentUser, "\\Software\\" + company_));
        AppCompanyName.clear();
#if !defined(_WIN32)
        if (previous_) {
            spectrino::test::SetEnv("SPECTRINO_REGISTRY_DIR", *previous_);
        } else {
            spectrino::test::UnsetEnv("SPECTRINO_REGISTRY_DIR");
        }
        std::filesystem::remove_all(dir_);
#endif
    }
    TestSettingsKey(const TestSettingsKey&) = delete;
    TestSettingsKey& operator=(const TestSettingsKey&) = delete;

    // Test programs carry no version block: the names the key and the caption are built from.
    void Apply() const {
        AppCompanyName = company_;
        AppProductName = "Analyzer Test";
    }
    const std::filesystem::path& Directory() const {
        return dir_;
    }

    std::optional<platform::RegistryKey> Open(platform::Access access) const {
        Apply();
        return platform::RegistryKey::Open(platform::RootKey::CurrentUser,
                                           TAnalyzer::ConfigKeyPath(), access);
    }
    std::optional<uint32_t> Stored(const char* name) const {
        auto key = Open(platform::Access::Read);
        return key ? key->ReadInteger(name) : std::nullopt;
    }
    template <typename F>
    void Store(F&& write) const {
        auto key = Open(platform::Access::ReadWrite);
        ASSERT_TRUE(key);
        write(*key);
        ASSERT_TRUE(key->Close());
    }
    bool Delete() const {
        Apply();
        return platform::DeleteRegistryKey(platform::RootKey::CurrentUser,
                                           TAnalyzer::ConfigKeyPath());
    }

private:
    std::string company_;
    std::filesystem::path dir_;
    std::optional<std::string> previous_;
};

// One analyzer on fakes, started as the window's creation starts it.
struct Instance {
    Instance(FakeWaveIn& wave, const TestSettingsKey& key) {
        analyzer = std::make_unique<TAnalyzer>(window, spectrum, &wave);
        analyzer->Start();
        key.Apply();
    }

    TSpectArray Refresh() {
        TSpectArray values;
        values.fill(12345);
        analyzer->Refresh(values);
        return values;
    }

    // A sine at 0.1 of full scale, straight into the bank.
    void FeedTone(double frequency, int blocks = 25) {
        std::vector<float> block(2048);
        for (int b = 0; b < blocks; ++b) {
            for (float& s : block) {
                s = static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * frequency * n_++ /
                                                      analyzer->Samplerate()));
            }
            analyzer->Goertzel()->AddSamples(block.data(), 2048);
        }
    }

    int Loudest() {
        const TSpectArray values = Refresh();
        return static_cast<int>(std::max_element(values.begin(), values.end()) - values.begin());
    }

    FakeWindow window;
    FakeSpectrum spectrum;
    std::unique_ptr<TAnalyzer> analyzer;  // last: goes first, while its window is still there

private:
    long n_ = 0;
};

// A wave input that counts every open attempt.
class CountingWaveIn : public FakeWaveIn {
public:
    int attempts = 0;

    MMRESULT waveInOpen(HWAVEIN& handle, int32_t id, const WAVEFORMATEX& format,
                        WaveInWindow& window, uintptr_t instance, uint32_t flags) override {
        ++attempts;
        return FakeWaveIn::waveInOpen(handle, id, format, window, instance, flags);
    }

    uint32_t OpenRate() { return Current() != nullptr ? Current()->format.nSamplesPerSec : 0; }
};

// Analyzers on two wave sources, with a settings key of the test's own; what they report to
// the user and to the debugger is collected.
class AnalyzerTest : public ::testing::Test {
protected:
    AnalyzerTest() { wave.names = {"Line In", "Monitor of TestSink"}; }

    Instance& Start() {
        instances_.push_back(std::make_unique<Instance>(wave, key));
        return *instances_.back();
    }
    // Started and shown: devices listed, stored settings applied.
    Instance& Shown() {
        Instance& instance = Start();
        instance.analyzer->Show();
        return instance;
    }
    // Ends an instance as its window's destruction does: the settings are stored.
    void Close(Instance& instance) {
        std::erase_if(instances_, [&](const auto& p) { return p.get() == &instance; });
    }

    platform::DebugCapture quiet;
    ExceptionCapture shown;
    TestSettingsKey key;
    CountingWaveIn wave;

private:
    std::vector<std::unique_ptr<Instance>> instances_;
};

}  // namespace spectrino_test
