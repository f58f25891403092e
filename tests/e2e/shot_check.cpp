// shot_check <screenshot> <band> [samplerate]: checks a screenshot of the analyzer: the
// spectrum with its scale, labels and separators is on it, and <band> has the tallest bar.
// Exit code 0 when all holds, 1 when not, 2 for a wrong command line or an unreadable file.
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "e2e/shot_analysis.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: shot_check <screenshot> <band> [samplerate]\n");
        return 2;
    }
    const QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "shot_check: cannot read %s\n", argv[1]);
        return 2;
    }
    const int band = std::atoi(argv[2]);
    const int rate = argc == 4 ? std::atoi(argv[3]) : 44100;
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
    if (reading.Problems.empty() && reading.TallestBand() != band) {
        std::printf("FAIL: band %d is not the one tallest bar\n", band);
        ok = false;
    }
    std::printf("%s\n", ok ? "screenshot OK" : "screenshot check failed");
    return ok ? 0 : 1;
}
