// shot_check <screenshot> <band> [samplerate [level]]: checks a screenshot of the analyzer: the
// spectrum with its scale, labels and separators is on it, and <band> has the tallest bar,
// reaching <level> dB within 1.5 dB when that is given. The band "none" means no bar at all.
// Exit code 0 when all holds, 1 when not, 2 for a wrong command line or an unreadable file.
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <numeric>

#include "e2e/shot_analysis.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: shot_check <screenshot> <band>|none [samplerate [level]]\n");
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "shot_check: cannot read %s\n", argv[1]);
        return 2;
    }
    const bool none = std::string_view(argv[2]) == "none";
    const int band = none ? -1 : std::atoi(argv[2]);
    const int rate = argc >= 4 ? std::atoi(argv[3]) : 44100;
    const auto reading = spectrino_test::ReadSpectrumShot(image, rate);
    std::printf("plot x %d..%d, y %d..%d, bars %d px wide\n", reading.Left, reading.Right - 1,
                reading.Top, reading.Bottom, reading.BarWidth);

    std::array<int, 128> order{};
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return reading.BarHeights[a] > reading.BarHeights[b]; });
    std::printf("tallest bars (band: pixels):");
    for (int i = 0; i < 5; ++i) {
        std::printf(" %d: %d", order[i], reading.BarHeights[order[i]]);
    }
    std::printf("\n");

    bool ok = true;
    for (const auto& problem : reading.Problems) {
        std::printf("FAIL: %s\n", problem.c_str());
        ok = false;
    }
    if (!reading.Problems.empty()) {
        // The bars mean nothing on a picture that is not a spectrum.
    } else if (none) {
        if (reading.BarHeights[order[0]] != 0) {
            std::printf("FAIL: band %d shows a bar\n", order[0]);
            ok = false;
        }
    } else if (reading.TallestBand() != band) {
        std::printf("FAIL: band %d is not the one tallest bar\n", band);
        ok = false;
    } else if (argc == 5) {
        // A bar of h pixels in a plot of H stands for -74 + 74 h / H dB.
        const double expected = std::atof(argv[4]);
        const double height = reading.Bottom - reading.Top;
        const double level = -74.0 + 74.0 * reading.BarHeights[band] / height;
        std::printf("band %d reads %.1f dB\n", band, level);
        if (std::abs(level - expected) > 1.5) {
            std::printf("FAIL: band %d reads %.1f dB, not %.1f dB\n", band, level, expected);
            ok = false;
        }
    }
    std::printf("%s\n", ok ? "screenshot OK" : "screenshot check failed");
    return ok ? 0 : 1;
}
