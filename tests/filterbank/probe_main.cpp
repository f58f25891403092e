// Loads the filter-bank library the way the analyzer does and reports what happened on stdout
// (debug lines go to stderr). Run by the client tests from directories of their making.
#include <cstdio>
#include <exception>

#include "filterbank/utonebank.h"

int main() {
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
    return 0;
}
