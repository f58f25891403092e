#include "shot_analysis.h"

#include <algorithm>
#include <cstdlib>

namespace spectrino_test {
namespace {

// The control's default colours (a fresh settings file), as they appear on a 24-bit screen.
constexpr QRgb kBackground = qRgb(0, 0, 0);
constexpr QRgb kScale = qRgb(0x80, 0x80, 0x80);
constexpr QRgb kSeparator = qRgb(0x40, 0, 0);
constexpr std::array<QRgb, 3> kBarColours = {qRgb(0xFF, 0, 0), qRgb(0xFF, 0xFF, 0),
                                             qRgb(0, 0xC0, 0xC0)};
constexpr int kBands = 128;
constexpr int kScaleRows = 74;
// How far from the plot text is looked for: the nearest characters of every label, but not
// beyond the control's margins into the window around it.
constexpr int kLabelReach = 14;

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xFF000000u;
}

bool IsBar(QRgb pixel) {
    return std::find(kBarColours.begin(), kBarColours.end(), pixel) != kBarColours.end();
}

// Text is drawn anti-aliased in a light colour on the background: any clearly lit pixel that
// is neither a scale nor a separator line counts.
bool IsText(QRgb pixel) {
    return pixel != kScale && pixel != kSeparator && qGray(pixel) > 60;
}

int TextPixels(const QImage& image, int x0, int x1, int y0, int y1) {
    int count = 0;
    for (int y = std::max(0, y0); y < std::min(image.height(), y1); ++y) {
        for (int x = std::max(0, x0); x < std::min(image.width(), x1); ++x) {
            count += IsText(At(image, x, y)) ? 1 : 0;
        }
    }
    return count;
}

// The bottom scale line is the longest horizontal run of scale colour: bars never reach it.
bool FindBottomLine(const QImage& image, ShotReading& r) {
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        for (int x = 0; x <= image.width(); ++x) {
            if (x < image.width() && At(image, x, y) == kScale) {
                ++run;
                continue;
            }
            if (run > best) {
                best = run;
                r.Left = x - run;
                r.Right = x;
                r.Bottom = y;
            }
            run = 0;
        }
    }
    return best >= 143 + kBands;
}

}  // namespace

int ShotReading::TallestBand() const {
    const auto top = std::max_element(BarHeights.begin(), BarHeights.end());
    if (std::count(BarHeights.begin(), BarHeights.end(), *top) != 1) {
        return -1;
    }
    return static_cast<int>(top - BarHeights.begin());
}

ShotReading ReadSpectrumShot(const QImage& source, int samplerate) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    ShotReading r;
    if (!FindBottomLine(image, r)) {
        r.Problems.push_back("no bottom scale line wide enough for 128 bars");
        return r;
    }
    const int width = r.Right - r.Left;
    r.BarWidth = (width - 143) / kBands;
    const int offset = (width - (kBands - 1 + kBands * r.BarWidth)) / 2;
    for (int i = 0; i < kBands; ++i) {
        r.BandX[i] = r.Left + offset + (r.BarWidth + 1) * i;
    }

    // Every 2 dB a tick starts at the plot's left edge, which bars never cover; the topmost is
    // the 0 dB line.
    std::vector<int> tickRows;
    for (int y = r.Bottom - 1; y >= 0; --y) {
        if (At(image, r.Left, y) == kScale && At(image, r.Left + 1, y) == kScale) {
            tickRows.push_back(y);
        }
    }
    if (tickRows.empty()) {
        r.Problems.push_back("no scale ticks above the bottom line");
        return r;
    }
    r.Top = tickRows.back();
    const int height = r.Bottom - r.Top;
    std::vector<int> expected;
    for (int i = kScaleRows; i >= 0; i -= 2) {
        expected.push_back(r.Top + (i * height) / kScaleRows);
    }
    // The -74 dB row is the bottom line itself.
    expected.erase(expected.begin());
    if (tickRows != expected) {
        r.Problems.push_back("scale ticks are not one per 2 dB from 0 to -74 dB (" +
                             std::to_string(tickRows.size()) + " rows found)");
    }

    // Labels 0 .. -70 and "db" on both sides, the sample-rate caption above the plot.
    for (int i = 0; i <= kScaleRows; i += 10) {
        const int y = r.Top + (i * height) / kScaleRows;
        const bool left = TextPixels(image, r.Left - kLabelReach, r.Left - 3, y - 6, y + 7) >= 4;
        const bool right = TextPixels(image, r.Right + 3, r.Right + kLabelReach, y - 6, y + 7) >= 4;
        if (!left || !right) {
            r.Problems.push_back("scale label -" + std::to_string(i) + " missing on the " +
                                 (left ? "right" : "left"));
        }
    }
    if (TextPixels(image, r.Left - kLabelReach, r.Left - 3, r.Bottom - 6, r.Bottom + 7) < 4) {
        r.Problems.push_back("\"db\" label missing");
    }
    const int centre = (r.Left + r.Right) / 2;
    if (TextPixels(image, centre - 60, centre + 60, r.Top - kLabelReach, r.Top - 3) < 10) {
        r.Problems.push_back("sample-rate caption missing");
    }

    // The separators stand in the gap after band 4i + 1 (4i at 48000 Hz and above), each with
    // its frequency label below the plot.
    const int shift = samplerate >= 48000 ? 0 : 1;
    const int middle = (r.Top + r.Bottom) / 2;
    int separators = 0;
    int labels = 0;
    for (int i = 0; i < 32; ++i) {
        const int x = r.BandX[4 * i + shift] + r.BarWidth;
        separators += At(image, x, middle) == kSeparator ? 1 : 0;
        labels +=
            TextPixels(image, x - 8, x + 9, r.Bottom + 3, r.Bottom + kLabelReach) >= 4 ? 1 : 0;
    }
    if (separators != 32) {
        r.Problems.push_back(std::to_string(separators) + " of 32 separator lines in place");
    }
    if (labels != 32) {
        r.Problems.push_back(std::to_string(labels) + " of 32 separator labels found");
    }

    // A bar is a window onto the three-zone column, from the bottom of the plot up.
    for (int i = 0; i < kBands; ++i) {
        const int x = r.BandX[i] + r.BarWidth / 2;
        int h = 0;
        while (r.Bottom - 1 - h >= r.Top && IsBar(At(image, x, r.Bottom - 1 - h))) {
            ++h;
        }
        r.BarHeights[i] = h;
    }
    return r;
}

}  // namespace spectrino_test
