// The meter as a measuring instrument: weightings, third octaves, time weighting, summary and
// calibration, on signals made here.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <sstream>

#include "framework/exception.h"
#include "meter/file_session.h"
#include "meter/wav_builder.h"
#include "meter/weighting.h"

namespace spectrino {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<double>> rows;  // time, then the levels in dB
};

std::string MeterOutput(const std::vector<double>& mono, uint32_t rate,
                        const MeterSettings& settings,
                        const test::WavLayout& layout = {3, 1, 44100, 32, false}) {
    test::WavLayout format = layout;
    format.rate = rate;
    const std::string wav = test::MakeWav(format, mono);
    std::istringstream in(wav);
    WavReader reader(in, wav.size());
    std::ostringstream out;
    MeasureWav(reader, settings, OutputFormat::Csv, out);
    return out.str();
}

Table Measure(const std::vector<double>& mono, uint32_t rate, const MeterSettings& settings) {
    std::istringstream lines(MeterOutput(mono, rate, settings));
    Table table;
    for (std::string line; std::getline(lines, line);) {
        std::stringstream cells(line);
        std::vector<std::string> text;
        for (std::string cell; std::getline(cells, cell, ',');) {
            text.push_back(cell);
        }
        if (table.header.empty()) {
            table.header = text;
            continue;
        }
        std::vector<double>& row = table.rows.emplace_back();
        for (const std::string& cell : text) {
            row.push_back(std::stod(cell));
        }
    }
    return table;
}

std::vector<double> Tone(double hz, double amplitude, double seconds, uint32_t rate) {
    std::vector<double> samples(static_cast<size_t>(seconds * rate));
    for (size_t n = 0; n < samples.size(); ++n) {
        samples[n] = amplitude * std::sin(2 * kPi * hz * static_cast<double>(n) / rate);
    }
    return samples;
}

// Gaussian white noise, or pink noise from it through a filter flat to 1/f within 0.05 dB
// above 10 Hz.
std::vector<double> Noise(double seconds, uint32_t rate, bool pink) {
    std::mt19937 random(20);
    std::normal_distribution<double> normal(0.0, 0.05);
    std::vector<double> samples(static_cast<size_t>(seconds * rate));
    double b[7] = {};
    for (double& s : samples) {
        const double w = normal(random);
        if (!pink) {
            s = w;
            continue;
        }
        b[0] = 0.99886 * b[0] + w * 0.0555179;
        b[1] = 0.99332 * b[1] + w * 0.0750759;
        b[2] = 0.96900 * b[2] + w * 0.1538520;
        b[3] = 0.86650 * b[3] + w * 0.3104856;
        b[4] = 0.55000 * b[4] + w * 0.5329522;
        b[5] = -0.7616 * b[5] - w * 0.0168980;
        s = (b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362) * 0.2;
        b[6] = w * 0.115926;
    }
    return samples;
}

// The loudest of the first `columns` levels of a row.
size_t Loudest(const std::vector<double>& row, size_t columns = 0) {
    const auto end = columns == 0 ? row.end() : row.begin() + 1 + static_cast<ptrdiff_t>(columns);
    return static_cast<size_t>(std::max_element(row.begin() + 1, end) - row.begin()) - 1;
}

TEST(FrequencyWeightingTest, AAndCFollowTheStandardsTable) {
    // IEC 61672-1 at the exact third-octave frequencies 10^(n/10) kHz, 10 Hz .. 20 kHz.
    const double a[] = {-70.4, -63.4, -56.7, -50.5, -44.7, -39.4, -34.6, -30.2, -26.2,
                        -22.5, -19.1, -16.1, -13.4, -10.9, -8.6,  -6.6,  -4.8,  -3.2,
                        -1.9,  -0.8,  0.0,   0.6,   1.0,   1.2,   1.3,   1.2,   1.0,
                        0.5,   -0.1,  -1.1,  -2.5,  -4.3,  -6.6,  -9.3};
    const double c[] = {-14.3, -11.2, -8.5, -6.2, -4.4, -3.0, -2.0, -1.3, -0.8, -0.5, -0.3, -0.2,
                        -0.1,  0.0,   0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  -0.1, -0.2,
                        -0.3,  -0.5,  -0.8, -1.3, -2.0, -3.0, -4.4, -6.2, -8.5, -11.2};
    for (int n = -20; n <= 13; ++n) {
        const double hz = 1000 * std::pow(10.0, n / 10.0);
        const auto i = static_cast<size_t>(n + 20);
        EXPECT_NEAR(WeightingDb(FrequencyWeighting::A, hz), a[i], 0.1) << hz;
        EXPECT_NEAR(WeightingDb(FrequencyWeighting::C, hz), c[i], 0.1) << hz;
        EXPECT_EQ(WeightingDb(FrequencyWeighting::Z, hz), 0.0);
    }
    EXPECT_NEAR(WeightingDb(FrequencyWeighting::A, 1000), 0.0, 1e-9);
    EXPECT_NEAR(WeightingDb(FrequencyWeighting::C, 1000), 0.0, 1e-9);
}

TEST(FrequencyWeightingTest, WeightedTonesReadTheCorrectionBelowUnweighted) {
    MeterSettings z;
    z.thirdOctaves = true;
    z.summary = true;
    z.weighting = FrequencyWeighting::Z;
    MeterSettings a = z;
    a.weighting = FrequencyWeighting::A;
    for (const auto& [hz, column, below] : {std::tuple{100.0, 8, 19.1}, {10000.0, 28, 2.5}}) {
        const std::vector<double> tone = Tone(hz, 0.25, 3, 44100);
        const Table plain = Measure(tone, 44100, z);
        const Table weighted = Measure(tone, 44100, a);
        ASSERT_EQ(plain.rows.size(), 1u);
        ASSERT_EQ(Loudest(plain.rows[0], 32), static_cast<size_t>(column)) << hz;
        EXPECT_EQ(weighted.header[1], "LAeq 16");
        const auto leq = static_cast<size_t>(column + 1);
        EXPECT_NEAR(plain.rows[0][leq] - weighted.rows[0][leq], below, 0.3) << hz;
    }
}

TEST(ThirdOctaveTest, PinkNoiseReadsFlatAndWhiteNoiseRisesAThirdOfAnOctavesWorth) {
    MeterSettings settings;
    settings.thirdOctaves = true;
    settings.timeWeighting = TimeWeighting::Leq;
    for (const bool pink : {true, false}) {
        const Table table = Measure(Noise(20, 44100, pink), 44100, settings);
        ASSERT_EQ(table.header.size(), 33u);
        EXPECT_EQ(table.header[4], "LZeq 31.5");
        EXPECT_EQ(table.header[32], "LZeq 20000");
        // White noise gains 10 log10(2^(1/3)) dB per third octave; take that out and both are
        // flat, from 31.5 Hz, whose bands have had time for enough independent blocks.
        std::vector<double> levels;
        for (size_t n = 3; n < 32; ++n) {
            const double slope = pink ? 0.0 : 10 * std::log10(std::cbrt(2.0));
            levels.push_back(table.rows.back()[n + 1] - slope * static_cast<double>(n));
        }
        const double mean =
            std::accumulate(levels.begin(), levels.end(), 0.0) / static_cast<double>(levels.size());
        for (size_t i = 0; i < levels.size(); ++i) {
            EXPECT_NEAR(levels[i], mean, 1.0) << (pink ? "pink " : "white ") << i + 3;
        }
    }
}

TEST(ThirdOctaveTest, EachColumnSumsTheFourBandsAroundItsFrequencyAtBothRates) {
    MeterSettings settings;
    settings.thirdOctaves = true;
    // 920 Hz and 1150 Hz lie inside the 1000 Hz and 1250 Hz third octaves, but in the bands
    // that the higher table of 48000 Hz shifts across their edges.
    for (const uint32_t rate : {44100u, 48000u}) {
        EXPECT_EQ(Loudest(Measure(Tone(920, 0.1, 0.5, rate), rate, settings).rows[4]), 18u) << rate;
        EXPECT_EQ(Loudest(Measure(Tone(1150, 0.1, 0.5, rate), rate, settings).rows[4]), 19u)
            << rate;
    }
}

TEST(TimeWeightingTest, FastAndSlowFallAtTheirRateAndRiseToTheNewLevel) {
    const uint32_t rate = 44100;
    const double start = 0.5;
    const double stop = 5.5;
    std::vector<double> signal(static_cast<size_t>(start * rate), 0.0);
    const std::vector<double> tone = Tone(1000, 0.25, stop - start, rate);
    signal.insert(signal.end(), tone.begin(), tone.end());
    signal.resize(static_cast<size_t>(11.5 * rate), 0.0);
    const size_t band = 74;
    for (const auto& [weighting, tau] :
         {std::pair{TimeWeighting::Fast, 0.125}, {TimeWeighting::Slow, 1.0}}) {
        SCOPED_TRACE(tau);
        MeterSettings settings;
        settings.timeWeighting = weighting;
        const Table table = Measure(signal, rate, settings);
        const double steady = table.rows[static_cast<size_t>(stop / 0.08) - 1][band + 1];
        EXPECT_EQ(table.header[band + 1].substr(0, 4), tau < 1 ? "LZF " : "LZS ");

        // Within 1 dB after 1.59 tau; a little more for rows of 80 ms and the filter's block.
        double risen = 0;
        for (const std::vector<double>& row : table.rows) {
            if (risen == 0 && row[0] > start && row[band + 1] > steady - 1) {
                risen = row[0] - start;
            }
        }
        EXPECT_GT(risen, 1.3 * tau);
        EXPECT_LT(risen, 1.59 * tau + 0.12);

        // The fall's slope by least squares, while well above the floor.
        double n = 0, st = 0, sl = 0, stt = 0, stl = 0;
        for (const std::vector<double>& row : table.rows) {
            if (row[0] > stop + 0.2 && row[0] < stop + 20 * tau && row[band + 1] > -80) {
                n += 1;
                st += row[0];
                sl += row[band + 1];
                stt += row[0] * row[0];
                stl += row[0] * row[band + 1];
            }
        }
        ASSERT_GT(n, 5);
        const double slope = (n * stl - st * sl) / (n * stt - st * st);
        EXPECT_NEAR(-slope, 10 * std::log10(std::exp(1.0)) / tau, 0.05 * 4.343 / tau);
    }
}

TEST(SummaryTest, OneRowHoldsLeqLmaxAndLminOfTheWholeRun) {
    const uint32_t rate = 48000;
    std::vector<double> signal = Tone(1000, 0.25, 2, rate);
    const std::vector<double> quiet = Tone(1000, 0.025, 2, rate);  // 20 dB down
    signal.insert(signal.end(), quiet.begin(), quiet.end());
    MeterSettings settings;
    settings.summary = true;
    settings.timeWeighting = TimeWeighting::Fast;
    settings.weighting = FrequencyWeighting::C;
    const Table table = Measure(signal, rate, settings);
    ASSERT_EQ(table.rows.size(), 1u);
    ASSERT_EQ(table.header.size(), 1u + 3 * 128);
    EXPECT_EQ(table.header[1].substr(0, 5), "LCeq ");
    EXPECT_EQ(table.header[129].substr(0, 7), "LCFmax ");
    EXPECT_EQ(table.header[257].substr(0, 7), "LCFmin ");
    const std::vector<double>& row = table.rows[0];
    EXPECT_DOUBLE_EQ(row[0], 4.0);
    const size_t band = Loudest(row, 128);
    const double loud = row[band + 1 + 128];
    EXPECT_NEAR(row[band + 1], loud + 10 * std::log10((1 + 0.01) / 2), 0.1);
    EXPECT_NEAR(row[band + 1 + 256], loud - 20, 0.3);  // F has settled on the quiet tone

    // The summary's Leq is the last row of the running Leq.
    settings.summary = false;
    settings.timeWeighting = TimeWeighting::Leq;
    const Table running = Measure(signal, rate, settings);
    EXPECT_EQ(running.rows.size(), 50u);
    EXPECT_DOUBLE_EQ(running.rows.back()[band + 1], row[band + 1]);
}

TEST(CalibrationTest, RefusesClippedInputAndInputWithoutOneSteadyTone) {
    const uint32_t rate = 44100;
    auto calibrate = [&](const std::vector<double>& signal,
                         const test::WavLayout& layout = {3, 1, 44100, 32, false}) {
        MeterSettings settings;
        settings.calibrate = 9400;
        try {
            return MeterOutput(signal, rate, settings, layout);
        } catch (const Exception& error) {
            return std::string("refused: ") + error.what();
        }
    };
    const std::vector<double> tone = Tone(1000, 0.1, 3, rate);
    const std::string offset = calibrate(tone);
    ASSERT_EQ(offset.find("refused"), std::string::npos) << offset;
    // A 16-bit recording of the same tone gives the same offset; driven into clipping, none.
    EXPECT_EQ(calibrate(tone, {1, 1, rate, 16, false}), offset);
    EXPECT_NE(calibrate(Tone(1000, 1.05, 3, rate), {1, 1, rate, 16, false}).find("clipped"),
              std::string::npos);
    EXPECT_NE(calibrate(Tone(1000, 1.0, 3, rate)).find("clipped"), std::string::npos);

    // A second tone 6 dB down; white noise that holds more power than the tone but, spread
    // over the bands, stays far below it in each; the tone stepping 3 dB down halfway.
    std::vector<double> twoTones = Tone(3000, 0.05, 3, rate);
    std::vector<double> noisy = Noise(3, rate, false);
    std::vector<double> stepped = tone;
    for (size_t n = 0; n < tone.size(); ++n) {
        twoTones[n] += tone[n];
        noisy[n] = tone[n] + 1.2 * noisy[n];
        stepped[n] *= n < tone.size() / 2 ? 1.0 : 0.7;
    }
    for (const auto& signal : {twoTones, noisy, Noise(3, rate, true)}) {
        EXPECT_NE(calibrate(signal).find("no single dominant tone"), std::string::npos);
    }
    EXPECT_NE(calibrate(stepped).find("not steady"), std::string::npos);
    EXPECT_NE(calibrate(std::vector<double>(3 * rate, 0.0)).find("silent"), std::string::npos);
    EXPECT_NE(calibrate(Tone(1000, 0.1, 1.5, rate)).find("too short"), std::string::npos);
}

}  // namespace
}  // namespace spectrino
