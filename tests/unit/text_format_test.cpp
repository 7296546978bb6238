#include "base/text_format.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace hub {
namespace {

TEST(TextFormat, FixedPrintsSixDecimalsLikeTheRuntimeLibrary) {
    TextBuffer text;
    EXPECT_EQ(text.formatFixed(0.5), "0.500000");
    EXPECT_EQ(text.formatFixed(-0.0), "-0.000000");  // negative zero keeps its sign
    EXPECT_EQ(text.formatFixed(-1.0), "-1.000000");
    EXPECT_EQ(text.formatFixed(static_cast<double>(0.8f)), "0.800000");
    EXPECT_EQ(text.formatFixed(static_cast<double>(-0.0333333f)), "-0.033333");
    EXPECT_EQ(text.formatFixed(0.0000005), "0.000000");  // ties to even on the exact binary value
    EXPECT_EQ(text.formatFixed(1e10), "10000000000.000000");
    EXPECT_EQ(text.formatFixed(std::numeric_limits<double>::infinity()), "inf");
}

TEST(TextFormat, NanPrintsAsTheRuntimeLibraryWordOfItsSign) {
    // Pins a lost sign test: each sign has its own word.
    TextBuffer text;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(text.formatFixed(nan), "nan");
    EXPECT_EQ(text.formatFixed(-nan), "-nan(ind)");
}

TEST(TextFormat, IntegersAndPercentLabels) {
    TextBuffer text;
    EXPECT_EQ(text.formatLong(-600), "-600");
    EXPECT_EQ(text.formatLong(std::numeric_limits<std::int32_t>::min()), "-2147483648");
    EXPECT_EQ(text.formatUnsigned(4294967295u), "4294967295");  // a centred hat
    EXPECT_EQ(text.formatPercent(110), "110%");
}

}  // namespace
}  // namespace hub
