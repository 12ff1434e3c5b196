#include "app/NumberConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

namespace {

using vexa::toInt32Saturating;

TEST(NumberConversion, ReadsOrdinaryNumbersLikeAtoi) {
    for (const char* text : {"0", "7", "-1", "+3", "  12", "\t\n 5", "1x", "abc", "", "-", "+-2", " - 4", "0009",
                             "2147483647", "-2147483648", "12 34"}) {
        EXPECT_EQ(std::atoi(text), toInt32Saturating(text)) << '"' << text << '"';
    }
}

TEST(NumberConversion, SaturatesInsteadOfOverflowing) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(kMax, toInt32Saturating("2147483648"));
    EXPECT_EQ(kMax, toInt32Saturating("4294967296"));
    EXPECT_EQ(kMax, toInt32Saturating("99999999999"));
    EXPECT_EQ(kMax, toInt32Saturating(std::string(400, '9') + "x"));
    EXPECT_EQ(kMin, toInt32Saturating("-2147483649"));
    EXPECT_EQ(kMin, toInt32Saturating("-99999999999999999999"));
}

} // namespace
