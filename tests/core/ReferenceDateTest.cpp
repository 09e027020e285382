#include "core/ReferenceDate.h"

#include <gtest/gtest.h>
#include <random>

namespace quonvera {
namespace {

TEST(ReferenceDateTest, MeasuresFromTheFirstSecondOf2001) {
    EXPECT_EQ(wallTimeFromReferenceSeconds(0.0), WallClock::from_time_t(978307200));
    EXPECT_EQ(secondsSinceReferenceDate(WallClock::from_time_t(978307200)), 0.0);
    EXPECT_EQ(secondsSinceReferenceDate(WallClock::from_time_t(0)), -978307200.0);
    EXPECT_EQ(secondsSinceReferenceDate(WallClock::from_time_t(978307200) - std::chrono::milliseconds(250)), -0.25);
}

TEST(ReferenceDateTest, AStoredValueSurvivesARoundTripExactly) {
    std::mt19937_64 random(20011);
    // Dates of this century: neighbouring numbers there are about 100 ns apart, coarser than the
    // clock, so reading and writing again must give back the very same number.
    std::uniform_real_distribution<double> century(1.0e8, 3.0e9);
    for (int i = 0; i < 100000; ++i) {
        const double stored = century(random);
        ASSERT_EQ(secondsSinceReferenceDate(wallTimeFromReferenceSeconds(stored)), stored) << std::hexfloat << stored;
    }
}

}  // namespace
}  // namespace quonvera
