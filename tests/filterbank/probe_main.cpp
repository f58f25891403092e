// Loads the filter-bank library the way the analyzer does and reports what happened on stdout,
// the debug lines on stderr (Windows would send those to the debugger). Run by the client tests
// from directories of their making.
#include <cstdio>
#include <exception>
#include <string>

#include "filterbank/utonebank.h"
#include "platform/debug_output.h"

namespace {

void Probe() {
    using namespace spectrino;
    LoadFilterBankLibrary();
    std::printf("loaded=%d\n", FilterBankLibraryLoaded() ? 1 : 0);
    try {
        TGoertzel bank(44100);
        std::printf("addbin=%d\n", bank.AddBin(1000.0, 60.0));
        const float samples[4] = {1, 1, 1, 1};
        bank.AddSamples(samples, 4);
        bank.SetWindowing(4);
        bank.Flush();
        std::printf("result=%g\n", bank.GetResult(0));
    } catch (const std::exception& e) {
        std::printf("error=%s\n", e.what());
    }
    UnloadFilterBankLibrary();
}

}  // namespace

int main() {
    std::vector<std::string> lines;
    {
        const spectrino::platform::DebugCapture capture;
        Probe();
        lines = capture.Lines();
    }
    for (const std::string& line : lines) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return 0;
}
