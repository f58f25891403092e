// Reads a screenshot of the analyzer's spectrum in its default colours: finds the plot by its
// scale, locates the 128 band columns the way the control lays them out, and measures each bar.
#pragma once

#include <QImage>

#include <array>
#include <string>
#include <vector>

namespace spectrino_test {

struct ShotReading {
    // Plot in image coordinates: the bottom scale line runs from Left to Right - 1 at Bottom.
    int Left = 0;
    int Right = 0;
    int Top = 0;
    int Bottom = 0;
    int BarWidth = 0;
    std::array<int, 128> BandX{};       // first column of each band
    std::array<int, 128> BarHeights{};  // pixels of bar colour from the plot's bottom up
    std::vector<std::string> Problems;  // empty when the picture is a well-formed spectrum

    int TallestBand() const;  // -1 unless one band is strictly taller than every other
};

// `samplerate` decides where the 32 separator lines stand (one band further right below 48000).
ShotReading ReadSpectrumShot(const QImage& image, int samplerate);

}  // namespace spectrino_test
