// Round axis values: steps of 1, 2 or 5 times a power of ten, ticks as exact round
// values, and a range just above the largest value.

#include "view/AxisTicks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace vorn::test {
namespace {

// 1, 2 or 5 times a power of ten, and nothing else.
bool isRound(double step) {
    const double exponent = std::floor(std::log10(step) + 1e-9);
    const double mantissa = step / std::pow(10.0, exponent);
    for (double m : {1.0, 2.0, 5.0}) {
        if (std::fabs(mantissa - m) < 1e-9) {
            return true;
        }
    }
    return false;
}

std::string shortest(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

TEST(AxisTicks, StepsAreOneTwoOrFiveTimesAPowerOfTen) {
    const struct {
        double span;
        int about;
        double step;
    } cases[] = {
        {1.0, 8, 0.2}, {0.5, 8, 0.1},    {0.75, 8, 0.1},   {100, 5, 20},
        {101, 5, 50},  {3e-4, 4, 1e-4},  {7.3e9, 5, 2e9},  {10, 10, 1},
        {10, 1, 10},   {0.0625, 1, 0.1}, {180e6, 5, 50e6}, {1e-12, 3, 5e-13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.span << " / " << c.about);
        const double step = niceStep(c.span, c.about);
        EXPECT_NEAR(step, c.step, c.step * 1e-12);
        EXPECT_TRUE(isRound(step));
        EXPECT_GE(step * c.about, c.span * (1 - 1e-9));  // never more ticks than asked
    }
    // Sweeping the span: every step round, never more than twice and a half too big.
    for (double span = 1e-5; span < 1e7; span *= 1.37) {
        const double step = niceStep(span, 6);
        EXPECT_TRUE(isRound(step)) << span;
        EXPECT_LE(step, span / 6 * 2.5 + 1e-12) << span;
    }
    for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL}) {
        EXPECT_EQ(niceStep(bad, 5), 0.0) << bad;
    }
    EXPECT_EQ(niceStep(1.0, 0), 0.0);
}

TEST(AxisTicks, TicksAreExactRoundValuesInsideTheRange) {
    // The access axis of a run whose accesses take up to half a millisecond.
    std::vector<std::string> texts;
    for (double t : niceTicks(0, 0.5, 8)) {
        texts.push_back(shortest(t));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"0", "0.1", "0.2", "0.3", "0.4", "0.5"}));
    // A zoomed time axis starts at the first tick inside it.
    EXPECT_EQ(niceTicks(12.34, 12.71, 4), (std::vector<double>{12.4, 12.5, 12.6, 12.7}));
    EXPECT_EQ(niceTicks(-1, 1, 4), (std::vector<double>{-1, -0.5, 0, 0.5, 1}));
    // Thin ranges far from zero still get ticks, each a whole multiple of the step.
    const std::vector<double> far = niceTicks(1000.0001, 1000.0009, 4);
    ASSERT_FALSE(far.empty());
    for (double t : far) {
        EXPECT_GE(t, 1000.0001 - 1e-9);
        EXPECT_LE(t, 1000.0009 + 1e-9);
        EXPECT_NEAR(std::round(t / 2e-4) * 2e-4, t, 1e-12);
    }
    EXPECT_TRUE(niceTicks(1, 1, 5).empty());
    EXPECT_TRUE(niceTicks(2, 1, 5).empty());
}

TEST(AxisTicks, RangeEndsJustAboveTheLargestValue) {
    EXPECT_DOUBLE_EQ(niceAbove(1.0, 8), 1.2);  // on a tick: the next one
    EXPECT_DOUBLE_EQ(niceAbove(0.25, 8), 0.3);
    EXPECT_DOUBLE_EQ(niceAbove(0.93, 8), 1.0);
    EXPECT_DOUBLE_EQ(niceAbove(37, 4), 40);
    EXPECT_EQ(shortest(niceAbove(0.3, 6)), "0.35");
    for (double v = 0.013; v < 5000; v *= 1.29) {
        const double top = niceAbove(v, 8);
        EXPECT_GT(top, v) << v;
        EXPECT_LE(top, v * 1.5 + niceStep(v, 8)) << v;
    }
    EXPECT_EQ(niceAbove(0, 8), 1.0);
    EXPECT_EQ(niceAbove(-3, 8), 1.0);
}

}  // namespace
}  // namespace vorn::test
