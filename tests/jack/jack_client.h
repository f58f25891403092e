// A JACK client of the test's own beside the driver: it plays a steady tone into the server,
// passes what reaches its port "relay in" on to "relay out", finds the driver's ports and
// connects them, as any other JACK program would.
#pragma once

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace spectrino::jack_test {

class JackClient {
public:
    // Joins `server` (empty: the default one) and plays `frequency` at `amplitude` (peak) on
    // its port "tone".
    JackClient(const std::string& server, double frequency, double amplitude)
        : frequency_(frequency), amplitude_(amplitude) {
        int options = JackNoStartServer;
        if (!server.empty()) {
            options |= JackServerName;
        }
        jack_status_t status{};
        client_ = jack_client_open("spectrino-test-tone", static_cast<jack_options_t>(options),
                                   &status, server.c_str());
        if (client_ == nullptr) {
            return;
        }
        port_ = jack_port_register(client_, "tone", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        relayIn_ =
            jack_port_register(client_, "relay in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        relayOut_ =
            jack_port_register(client_, "relay out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        rate_ = jack_get_sample_rate(client_);
        jack_set_process_callback(client_, &JackClient::Process, this);
        if (port_ == nullptr || relayIn_ == nullptr || relayOut_ == nullptr ||
            jack_activate(client_) != 0) {
            jack_client_close(client_);
            client_ = nullptr;
        }
    }
    ~JackClient() {
        if (client_ != nullptr) {
            jack_client_close(client_);
        }
    }
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    bool Running() const { return client_ != nullptr; }
    jack_client_t* Client() const { return client_; }
    std::string TonePort() const { return jack_port_name(port_); }
    std::string RelayIn() const { return jack_port_name(relayIn_); }
    std::string RelayOut() const { return jack_port_name(relayOut_); }
    double Rate() const { return rate_; }
    int32_t Period() const { return static_cast<int32_t>(jack_get_buffer_size(client_)); }

    // Full names of the ports whose names match `pattern` with the given flags, in JACK's order.
    std::vector<std::string> Ports(const std::string& pattern, unsigned long flags) const {
        std::vector<std::string> names;
        if (const char** ports =
                jack_get_ports(client_, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, flags)) {
            for (const char** port = ports; *port != nullptr; ++port) {
                names.emplace_back(*port);
            }
            jack_free(ports);
        }
        return names;
    }
    bool Connect(const std::string& from, const std::string& to) {
        return jack_connect(client_, from.c_str(), to.c_str()) == 0;
    }
    bool Disconnect(const std::string& from, const std::string& to) {
        return jack_disconnect(client_, from.c_str(), to.c_str()) == 0;
    }

private:
    static int Process(jack_nframes_t frames, void* self) {
        auto* client = static_cast<JackClient*>(self);
        auto* out = static_cast<float*>(jack_port_get_buffer(client->port_, frames));
        const double step = 2 * std::numbers::pi * client->frequency_ / client->rate_;
        for (jack_nframes_t i = 0; i < frames; ++i) {
            out[i] = static_cast<float>(client->amplitude_ * std::sin(client->phase_));
            client->phase_ = std::fmod(client->phase_ + step, 2 * std::numbers::pi);
        }
        std::copy_n(static_cast<const float*>(jack_port_get_buffer(client->relayIn_, frames)),
                    frames, static_cast<float*>(jack_port_get_buffer(client->relayOut_, frames)));
        return 0;
    }

    double frequency_;
    double amplitude_;
    double rate_ = 0.0;
    double phase_ = 0.0;  // the process thread's alone
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    jack_port_t* relayIn_ = nullptr;
    jack_port_t* relayOut_ = nullptr;
};

}  // namespace spectrino::jack_test
