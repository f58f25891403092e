#include "settings.h"

#include <algorithm>

#include "common/settings_values.h"
#include "platform/registry.h"

namespace spectrino::jack {

using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

Settings ReadSettings() {
    Settings settings;
    const auto key = RegistryKey::Open(RootKey::CurrentUser, kSettingsKey, Access::Read);
    if (!key) {
        return settings;
    }
    if (const auto server = key->ReadString("ServerName")) {
        settings.serverName = Trimmed(*server);
    }
    // JACK refuses an empty client name; keep ours then.
    if (const auto client = key->ReadString("ClientName"); client && !Trimmed(*client).empty()) {
        settings.clientName = Trimmed(*client);
    }
    if (const auto inputs = drivers::ReadNumber(*key, "Inputs")) {
        settings.inputs = std::clamp(*inputs, 0, kMaxChannels);
    }
    if (const auto outputs = drivers::ReadNumber(*key, "Outputs")) {
        settings.outputs = std::clamp(*outputs, 0, kMaxChannels);
    }
    if (const auto connect = key->ReadString("Connect")) {
        settings.connect = SplitPortList(*connect);
    }
    return settings;
}

bool WriteSettings(const Settings& settings) {
    auto key = RegistryKey::Open(RootKey::CurrentUser, kSettingsKey, Access::ReadWrite);
    return key && key->WriteString("ServerName", settings.serverName) &&
           key->WriteString("ClientName", settings.clientName) &&
           key->WriteInteger("Inputs", static_cast<uint32_t>(settings.inputs)) &&
           key->WriteInteger("Outputs", static_cast<uint32_t>(settings.outputs)) &&
           key->WriteString("Connect", JoinPortList(settings.connect)) && key->Close();
}

std::vector<std::string> SplitPortList(const std::string& text) {
    std::vector<std::string> ports;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        if (std::string port = Trimmed(text.substr(start, end - start)); !port.empty()) {
            ports.push_back(std::move(port));
        }
        start = end + 1;
    }
    return ports;
}

std::string JoinPortList(const std::vector<std::string>& ports) {
    std::string text;
    for (const std::string& port : ports) {
        text += (text.empty() ? "" : ",") + port;
    }
    return text;
}

}  // namespace spectrino::jack
