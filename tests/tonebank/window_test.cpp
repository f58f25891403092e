#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "window.h"

namespace {

std::vector<double> Table(int32_t code, uint32_t n) {
    std::unique_ptr<double, decltype(&tonebank::window_free)> t(tonebank::window_create(code, n),
                                                                &tonebank::window_free);
    EXPECT_NE(t, nullptr);
    return std::vector<double>(t.get(), t.get() + n);
}

void ExpectTable(const std::vector<double>& actual, const std::vector<double>& expected,
                 double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "entry " << i;
    }
}

TEST(WindowTables, ShortTablesHaveTheKnownValues) {
    ExpectTable(Table(4, 2), {0.0, 0.0}, 1e-15);
    ExpectTable(Table(5, 2), {0.08, 0.08}, 1e-15);
    ExpectTable(Table(1, 5), {0.0, 0.34, 1.0, 0.34, 0.0}, 1e-12);
    ExpectTable(Table(2, 5), {0.006738, 0.286505, 1.0, 0.286505, 0.006738}, 1e-6);
    ExpectTable(Table(3, 8),
                {0.004304, 0.130089, 0.621233, 1.0, 0.621233, 0.130089, 0.004304, 0.004304}, 1e-6);
}

TEST(WindowTables, UnknownCodesAreRectangular) {
    for (int32_t code : {0, 6, 7, -1, 1000}) {
        ExpectTable(Table(code, 9), std::vector<double>(9, 1.0), 0.0);
    }
}

TEST(WindowTables, LongTablesKeepTheirShape) {
    // The Gaussian's (N-1)^2 must not wrap for the longest block in use.
    const uint32_t n = 48000;
    const auto gauss = Table(2, n);
    EXPECT_NEAR(gauss.front(), 0.006738, 1e-6);
    EXPECT_NEAR(gauss.back(), 0.006738, 1e-6);
    EXPECT_NEAR(gauss[n / 2], 1.0, 1e-8);
    for (int32_t code : {1, 2, 4, 5}) {
        const auto t = Table(code, 4001);
        for (uint32_t i = 0; i < 4001; ++i) {
            ASSERT_NEAR(t[i], t[4000 - i], 1e-12) << "code " << code << " entry " << i;
        }
        EXPECT_NEAR(t[2000], 1.0, 1e-12) << "code " << code;
    }
    // Blackman-Harris is sampled half a step late: peak at (N-2)/2, last two equal the first.
    const auto bh = Table(3, 1000);
    EXPECT_NEAR(bh[999], bh[0], 1e-12);
    EXPECT_NEAR(bh[998], bh[0], 1e-12);
    EXPECT_NEAR(bh[499], 1.0, 1e-12);
    EXPECT_GT(bh[499], bh[500]);
    EXPECT_GT(bh[499], bh[498]);
}

}  // namespace
