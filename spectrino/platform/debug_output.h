// Diagnostics for developers: one line per event, to the debugger stream on Windows and to
// standard error elsewhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace spectrino::platform {

void DebugOutput(std::string_view line);

// Collects the debug lines written while it lives instead of printing them (for tests).
// Captures do not nest across threads; install one while no other thread writes lines.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const { return lines_; }
    void Write(std::string_view line) { lines_.emplace_back(line); }

private:
    DebugCapture* previous_;
    std::vector<std::string> lines_;
};

}  // namespace spectrino::platform
