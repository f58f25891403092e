// Until the analyzer window exists: feed a tone into a real 128-band bank and print the levels.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "display/bandtable.h"
#include "filterbank/utonebank.h"
#include "shell/bandlevel.h"

int main(int argc, char** argv) {
    using namespace spectrino;
    const int rate = argc > 1 ? std::atoi(argv[1]) : 44100;
    const double tone = argc > 2 ? std::atof(argv[2]) : 1000.0;
    LoadFilterBankLibrary();
    try {
        TGoertzel bank(rate);
        const BandTable bands = ComputeBands(static_cast<float>(rate));
        for (int i = 0; i < kBandCount; ++i) {
            bank.AddBin(bands.BandCentres[i], bands.BandWidths[i]);
        }
        // One second of a -20 dBFS sine, in blocks of 2048 as the capture delivers them.
        std::vector<float> block(2048);
        long n = 0;
        for (int b = 0; b < rate / 2048 + 1; ++b) {
            for (float& s : block) {
                s = static_cast<float>(0.1 * std::sin(2.0 * M_PI * tone * n++ / rate));
            }
            bank.AddSamples(block.data(), static_cast<int>(block.size()));
        }
        std::printf("band  centre(Hz)  level(dB)   %g Hz at -20 dBFS, %d Hz\n", tone, rate);
        for (int i = 0; i < kBandCount; ++i) {
            std::printf("%4d  %10.3f  %8.2f\n", i, bands.BandCentres[i],
                        BandLevel(bank.GetResult(i)) / 100.0);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        UnloadFilterBankLibrary();
        return 1;
    }
    UnloadFilterBankLibrary();
    return 0;
}
