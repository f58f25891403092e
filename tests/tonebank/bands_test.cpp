// The real 128-band bank: band table rule and what each band's filter measures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "bank_fixture.h"
#include "core/bandtable.h"

namespace {

using namespace tonebank_test;
using spectrino::BandTable;
using spectrino::ComputeBands;

struct BandRow {
    int band;
    double centre, width;
};

TEST(BandTable, MatchesTheKnownRowsAtBothRates) {
    const BandRow low[] = {{0, 14.678, 0.8476},      {1, 15.551, 0.8980},
                           {64, 577.95, 33.375},     {74, 1029.732, 59.4631},
                           {125, 19438.74, 1122.51}, {127, 21819.25, 1259.9785}};
    const BandRow high[] = {{0, 15.551, 0.8980},      {1, 16.476, 0.9514},
                            {64, 612.32, 35.359},     {73, 1029.732, 59.4631},
                            {125, 20594.63, 1189.26}, {127, 23116.691, 1334.9023}};
    const BandTable t44 = ComputeBands(44100.0f);
    const BandTable t48 = ComputeBands(48000.0f);
    for (const auto& r : low) {
        EXPECT_NEAR(t44.BandCentres[r.band], r.centre, 0.0051) << "band " << r.band;
        EXPECT_NEAR(t44.BandWidths[r.band], r.width, std::max(0.00051, r.width * 5e-6))
            << "band " << r.band;
    }
    for (const auto& r : high) {
        EXPECT_NEAR(t48.BandCentres[r.band], r.centre, 0.0051) << "band " << r.band;
        EXPECT_NEAR(t48.BandWidths[r.band], r.width, std::max(0.00051, r.width * 5e-6))
            << "band " << r.band;
    }
    // The upper table is the lower one moved up a semitone within each group of four.
    for (int g = 0; g < 32; ++g) {
        for (int j = 0; j + 1 < 4; ++j) {
            EXPECT_EQ(t48.BandCentres[4 * g + j], t44.BandCentres[4 * g + j + 1]);
            EXPECT_EQ(t48.BandWidths[4 * g + j], t44.BandWidths[4 * g + j + 1]);
        }
    }
    // 47999 Hz still takes the lower table.
    EXPECT_EQ(ComputeBands(47999.0f).BandCentres[0], t44.BandCentres[0]);
    for (int i = 0; i < 128; ++i) {
        EXPECT_LT(t44.BandCentres[i], 22050.0f);
        EXPECT_LT(t48.BandCentres[i], 24000.0f);
    }
}

struct TunedRow {
    int band;
    uint32_t n;
    double tuned;
};

void CheckRealBank(uint32_t rate, std::initializer_list<TunedRow> rows, uint64_t total_steps) {
    auto bank = MakeBank(rate);
    const BandTable table = ComputeBands(static_cast<float>(rate));
    uint64_t steps = 0;
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(goertzel_addbin(bank.get(), table.BandCentres[i], table.BandWidths[i]), i);
        ASSERT_FALSE(bank->bins[i]->inactive) << "band " << i;
        steps += bank->bins[i]->block_length;
    }
    EXPECT_EQ(steps, total_steps);
    for (const auto& r : rows) {
        const auto* bin = bank->bins[r.band];
        EXPECT_EQ(bin->block_length, r.n) << "band " << r.band;
        const double tuned = std::acos(bin->coefficient / 2) * rate / (2 * std::numbers::pi);
        EXPECT_NEAR(tuned, r.tuned, 0.002) << "band " << r.band;
    }
}

TEST(BandTable, EachBandFilterIsTunedAsExpected) {
    CheckRealBank(44100,
                  {{0, 44100, 15.0},
                   {1, 44100, 16.0},
                   {2, 44100, 16.0},
                   {3, 43751, 17.136},
                   {74, 742, 1010.873},
                   {127, 35, 21419.635}},
                  921269);
    CheckRealBank(48000,
                  {{0, 48000, 16.0},
                   {1, 48000, 16.0},
                   {2, 47620, 17.136},
                   {73, 807, 1010.873},
                   {127, 36, 22693.340}},
                  954169);
}

}  // namespace
