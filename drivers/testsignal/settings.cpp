#include "settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

#include "platform/registry.h"

namespace spectrino::testsignal {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

namespace {

constexpr int32_t kMaxChannels = 256;

std::optional<double> ParseNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Numbers may be stored as a dword or as text (for fractions and negative values).
class SettingsReader {
public:
    explicit SettingsReader(const RegistryKey& key) : key_(key) {}

    std::optional<double> Number(const std::string& name) const {
        if (const auto number = key_.ReadInteger(name)) {
            return static_cast<double>(static_cast<int32_t>(*number));
        }
        if (const auto text = key_.ReadString(name)) {
            return ParseNumber(*text);
        }
        return std::nullopt;
    }
    void Read(const std::string& name, double& value) const {
        value = Number(name).value_or(value);
    }
    void Read(const std::string& name, int32_t& value) const {
        if (const auto number = Number(name)) {
            value = static_cast<int32_t>(*number);
        }
    }
    void Read(const std::string& name, bool& value) const {
        if (const auto number = Number(name)) {
            value = *number != 0.0;
        }
    }
    void Read(const std::string& name, std::optional<int32_t>& value) const {
        if (const auto number = Number(name)) {
            value = static_cast<int32_t>(*number);
        }
    }
    void Read(const std::string& name, Waveform& value) const {
        const auto text = key_.ReadString(name);
        if (!text) {
            return;
        }
        std::string folded = *text;
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (folded == "sine") {
            value = Waveform::Sine;
        } else if (folded == "noise") {
            value = Waveform::Noise;
        } else if (folded == "silence") {
            value = Waveform::Silence;
        } else if (folded == "loopback") {
            value = Waveform::Loopback;
        }
    }
    std::vector<double> List(const std::string& name) const {
        std::vector<double> values;
        const auto text = key_.ReadString(name);
        if (!text) {
            return values;
        }
        std::string_view rest = *text;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            if (const auto value = ParseNumber(rest.substr(0, comma))) {
                values.push_back(*value);
            }
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        return values;
    }

private:
    const RegistryKey& key_;
};

}  // namespace

bool Settings::SupportsRate(double rate) const {
    return std::find(sampleRates.begin(), sampleRates.end(), rate) != sampleRates.end();
}

bool Settings::SupportsBufferSize(int32_t size) const {
    if (size < bufferMinimum || size > bufferMaximum || size <= 0) {
        return false;
    }
    if (bufferGranularity == -1) {
        return (size & (size - 1)) == 0 || size == bufferMinimum || size == bufferMaximum;
    }
    if (bufferGranularity > 0) {
        return (size - bufferMinimum) % bufferGranularity == 0;
    }
    return size == bufferPreferred || size == bufferMinimum;
}

std::optional<std::string> SettingsKeyFor(const platform::CLSID& clsid) {
    if (clsid == kClassId) {
        return std::string(kSettingsKey);
    }
    const std::string key = std::string(kSettingsKey) + "\\" + platform::GUIDToString(clsid);
    if (!RegistryKey::Open(RootKey::LocalMachine, key, Access::Read)) {
        return std::nullopt;
    }
    return key;
}

Settings ReadSettings(const std::string& keyPath) {
    Settings settings;
    const auto key = RegistryKey::Open(RootKey::LocalMachine, keyPath, Access::Read);
    Tone tone;
    if (key) {
        const SettingsReader reader(*key);
        reader.Read("Inputs", settings.inputs);
        reader.Read("Outputs", settings.outputs);
        reader.Read("BufferMinimum", settings.bufferMinimum);
        reader.Read("BufferMaximum", settings.bufferMaximum);
        reader.Read("BufferPreferred", settings.bufferPreferred);
        reader.Read("BufferGranularity", settings.bufferGranularity);
        reader.Read("SampleType", settings.sampleType);
        if (auto rates = reader.List("SampleRates"); !rates.empty()) {
            settings.sampleRates = std::move(rates);
        }
        settings.sampleRate = settings.sampleRates.front();
        reader.Read("SampleRate", settings.sampleRate);
        reader.Read("InputLatency", settings.inputLatency);
        reader.Read("OutputLatency", settings.outputLatency);
        reader.Read("TimeInfo", settings.timeInfo);
        reader.Read("InitFails", settings.initFails);
        reader.Read("CreateBuffersFails", settings.createBuffersFails);
        reader.Read("StartFails", settings.startFails);
        reader.Read("StartThrows", settings.startThrows);
        reader.Read("Version", settings.version);
        reader.Read("Waveform", tone.waveform);
        reader.Read("Frequency", tone.frequency);
        reader.Read("Level", tone.level);
    }
    settings.inputs = std::clamp(settings.inputs, 0, kMaxChannels);
    settings.outputs = std::clamp(settings.outputs, 0, kMaxChannels);
    settings.tones.assign(static_cast<std::size_t>(settings.inputs), tone);
    if (key) {
        // "Waveform 2", "Frequency 2", "Level 2" set input channel 2 (counted from 1).
        const SettingsReader reader(*key);
        for (std::size_t i = 0; i < settings.tones.size(); ++i) {
            const std::string suffix = " " + std::to_string(i + 1);
            reader.Read("Waveform" + suffix, settings.tones[i].waveform);
            reader.Read("Frequency" + suffix, settings.tones[i].frequency);
            reader.Read("Level" + suffix, settings.tones[i].level);
        }
    }
    return settings;
}

}  // namespace spectrino::testsignal
