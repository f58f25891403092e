#include "meter/file_session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <sstream>

#include "core/bandtable.h"
#include "meter/level_writers.h"
#include "meter/wav_builder.h"
#include "core/bandlevel.h"

namespace spectrino {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) {
        cells.push_back(cell);
    }
    return cells;
}

Table Measure(const std::string& wav, const MeterSettings& settings = {}) {
    std::istringstream in(wav);
    WavReader reader(in, wav.size());
    std::ostringstream out;
    MeasureWav(reader, settings, OutputFormat::Csv, out);
    std::istringstream lines(out.str());
    Table table;
    std::string line;
    std::getline(lines, line);
    table.header = Split(line);
    while (std::getline(lines, line)) {
        table.rows.push_back(Split(line));
    }
    return table;
}

// Hundredths of a dB from "-12.34".
int32_t Level(const std::string& cell) {
    return static_cast<int32_t>(std::lround(std::stod(cell) * 100));
}

std::vector<double> Tone(double hz, double amplitude, double seconds, uint32_t rate) {
    std::vector<double> samples(static_cast<size_t>(seconds * rate));
    for (size_t n = 0; n < samples.size(); ++n) {
        samples[n] = amplitude * std::sin(2 * kPi * hz * static_cast<double>(n) / rate);
    }
    return samples;
}

TEST(BandMeterTest, ToneAtMinus20dBFSReadsThePredictedLevelInItsBand) {
    const uint32_t rate = 44100;
    const test::WavLayout mono{1, 1, rate, 16, false};
    const std::vector<double> tone = Tone(1000, 0.1, 1.5, rate);
    const Table table = Measure(test::MakeWav(mono, tone));

    // 1.5 s gives 18 rows of 80 ms, each a time and 128 levels; the header names the centres.
    ASSERT_EQ(table.rows.size(), 18u);
    ASSERT_EQ(table.header.size(), 129u);
    EXPECT_EQ(table.header[0], "time");
    const BandTable bands = ComputeBands(static_cast<float>(rate));
    EXPECT_FLOAT_EQ(std::stof(table.header[75]), bands.BandCentres[74]);
    EXPECT_EQ(table.rows[11][0], "0.960");

    // The level band 74 must read at 0.96 s: its bin is tuned to the multiple of the band
    // width nearest the centre and runs, unwindowed, over the newest block of samples.
    const double width = bands.BandWidths[74];
    const double blockReal = rate / width;
    const double k = std::floor(bands.BandCentres[74] / width + 0.5);
    const auto n = static_cast<size_t>(blockReal + 0.5);
    const size_t end = 12 * rate * 80 / 1000;
    std::complex<double> sum = 0;
    for (size_t j = 0; j < n; ++j) {
        const double x = std::round(tone[end - n + j] * 32768) / 32768;  // as stored
        sum += x * std::polar(1.0, -2 * kPi * k * static_cast<double>(j) / blockReal);
    }
    const int32_t predicted = BandLevel(std::norm(sum) / (static_cast<double>(n) * n));
    const int32_t measured = Level(table.rows[11][75]);
    EXPECT_NEAR(measured, predicted, 1);
    // A -20 dBFS sine is A^2/4 = -12.04 dB on this scale, a little less off the bin's tuning.
    EXPECT_LT(measured, -1204);
    EXPECT_GT(measured, -1300);
    // No other band comes near it.
    for (size_t band = 0; band < 128; ++band) {
        if (band < 70 || band > 78) {
            EXPECT_LT(Level(table.rows[11][band + 1]), measured - 1000) << band;
        }
    }
}

TEST(BandMeterTest, LogSweepPeaksBandAfterBandInIncreasingOrder) {
    const uint32_t rate = 44100;
    const double seconds = 60;
    const double f0 = 20;
    const double f1 = 20000;
    const double growth = std::log(f1 / f0);
    std::vector<double> sweep(static_cast<size_t>(seconds * rate));
    for (size_t n = 0; n < sweep.size(); ++n) {
        const double t = static_cast<double>(n) / rate;
        sweep[n] =
            0.5 * std::sin(2 * kPi * f0 * seconds / growth * (std::exp(t * growth / seconds) - 1));
    }
    const Table table = Measure(test::MakeWav({1, 1, rate, 16, false}, sweep));
    ASSERT_EQ(table.rows.size(), 750u);

    const BandTable bands = ComputeBands(static_cast<float>(rate));
    size_t previousRow = 0;
    int checked = 0;
    for (size_t band = 0; band < 128; ++band) {
        // Bands wholly inside the sweep, with a block short enough to be full at their turn.
        if (bands.BandCentres[band] < 25 || bands.BandCentres[band] > 19000) {
            continue;
        }
        size_t best = 0;
        for (size_t row = 1; row < table.rows.size(); ++row) {
            if (Level(table.rows[row][band + 1]) > Level(table.rows[best][band + 1])) {
                best = row;
            }
        }
        EXPECT_GT(best, previousRow) << "band " << band;
        // The sweep passes the band's tuning at a predictable time; the long blocks of the low
        // bands lag by up to half a block.
        const double passes = seconds * std::log(bands.BandCentres[band] / f0) / growth;
        EXPECT_NEAR(static_cast<double>(best + 1) * 0.08, passes, 0.8) << "band " << band;
        previousRow = best;
        ++checked;
    }
    EXPECT_GT(checked, 110);
}

TEST(BandMeterTest, InputModeWindowAndTrackingChangeWhatIsMeasured) {
    const uint32_t rate = 48000;
    // Left carries 1 kHz, right the same tone inverted: the difference doubles, the sum cancels.
    std::vector<double> stereo;
    for (const double s : Tone(1000, 0.25, 0.5, rate)) {
        stereo.push_back(s);
        stereo.push_back(-s);
    }
    const std::string wav = test::MakeWav({3, 2, rate, 32, false}, stereo);
    auto band = [&](const MeterSettings& settings, size_t row, size_t index) {
        return Level(Measure(wav, settings).rows[row][index + 1]);
    };
    // At 48000 Hz, 1000 Hz starts band 73.
    const size_t b = 73;
    MeterSettings sum;
    MeterSettings left;
    left.inputMode = 2;
    MeterSettings difference;
    difference.inputMode = 4;
    EXPECT_EQ(band(sum, 5, b), kFloorLevel);
    EXPECT_EQ(band(difference, 5, b), band(left, 5, b));
    MeterSettings hamming = left;
    hamming.windowType = 5;
    EXPECT_LT(band(hamming, 5, b), band(left, 5, b) - 300);  // the window's gain is not undone

    // Tracked: the level falls by at most 2 dB per row once the tone is gone and the held peak
    // stays; the rows carry 128 levels and then 128 peaks.
    std::vector<double> burst = stereo;
    burst.resize(burst.size() * 2, 0.0);
    const std::string burstWav = test::MakeWav({3, 2, rate, 32, false}, burst);
    MeterSettings tracked = left;
    tracked.peakDisplay = TPeakDisplay::pdHold;
    const Table table = Measure(burstWav, tracked);
    ASSERT_EQ(table.header.size(), 257u);
    EXPECT_EQ(table.header[129].rfind("peak ", 0), 0u);
    const int32_t top = Level(table.rows[5][b + 1]);
    for (size_t row = 7; row < table.rows.size(); ++row) {
        EXPECT_GE(Level(table.rows[row][b + 1]), Level(table.rows[row - 1][b + 1]) - 200) << row;
        EXPECT_GE(Level(table.rows[row][b + 129]), top) << row;
    }
}

TEST(BandMeterTest, FloatSamplesFarBeyondFullScaleReadAsLoudAsTheyAre) {
    const uint32_t rate = 44100;
    const test::WavLayout floatStereo{3, 2, rate, 32, false};
    auto bandAt = [&](double amplitude) {
        std::vector<double> stereo;
        for (const double s : Tone(1000, amplitude, 0.5, rate)) {
            stereo.push_back(s);
            stereo.push_back(s);
        }
        return Level(Measure(test::MakeWav(floatStereo, stereo)).rows[5][75]);
    };
    const int32_t reference = bandAt(0.1);
    ASSERT_GT(reference, -1500);
    // Power goes with the square of the amplitude: 1e31 times as loud is 620 dB more.
    EXPECT_NEAR(bandAt(1e30), reference + 62000, 2);
    // Near the largest float, where even the sum of both channels is out of range.
    EXPECT_NEAR(bandAt(3e38), reference + 2000 * std::log10(3e39), 2);
}

TEST(LevelWritersTest, LevelsAreExactTwoDecimalTextAndRowsAreWhole) {
    std::string text;
    for (const int32_t level : {0, -5, -14400, 123, -100, INT32_MIN}) {
        AppendLevel(text, level);
        text += ' ';
    }
    EXPECT_EQ(text, "0.00 -0.05 -144.00 1.23 -1.00 -21474836.48 ");

    std::ostringstream out;
    JsonLinesWriter json(out);
    TSpectArray levels{};
    levels.fill(-7400);
    levels[127] = -1;
    json.Header(ComputeBands(44100), false);
    json.Row(0.08, levels, nullptr);
    json.Row(0.16, levels, &levels);
    EXPECT_EQ(out.str(), "");  // nothing reaches the stream before a flush
    json.Flush();
    std::istringstream lines(out.str());
    std::string first;
    std::string second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first.rfind("{\"time\":0.080,\"levels\":[-74.00,", 0), 0u);
    EXPECT_EQ(first.substr(first.size() - 8), ",-0.01]}");
    EXPECT_NE(second.find("],\"peaks\":[-74.00,"), std::string::npos);
}

}  // namespace
}  // namespace spectrino
