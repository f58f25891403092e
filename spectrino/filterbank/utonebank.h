// Binding of the filter-bank library at run time, and TGoertzel, one bank behind it.
#pragma once

#include <cstdint>

#include "tonebank.h"

namespace spectrino {

#if defined(_WIN32)
inline constexpr const char* kToneBankFileName = "tonebank.dll";
#else
inline constexpr const char* kToneBankFileName = "libtonebank.so";
#endif

// Loads the library unless it is loaded: by bare name first, then from the program's own
// directory. Entry points the library does not export stay unset.
void LoadFilterBankLibrary();
// Frees the library and clears the entry points.
void UnloadFilterBankLibrary();
bool FilterBankLibraryLoaded();

// One filter bank. Every operation is safe on an object whose bank could not be made.
class TGoertzel {
public:
    // Raises Exception "<library> not found!" or "Goertzel could not be created".
    explicit TGoertzel(int32_t sample_rate);
    ~TGoertzel();
    TGoertzel(const TGoertzel&) = delete;
    TGoertzel& operator=(const TGoertzel&) = delete;

    int32_t AddBin(double centre, double width);
    void AddSamples(const float* samples, int32_t count);
    double GetResult(int32_t index);
    void Flush();
    void SetWindowing(int32_t window_type);

private:
    goertzel_bank* FHandle = nullptr;
};

}  // namespace spectrino
