#include "services/AudioLevels.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace quonvera {
namespace {

std::vector<float> constant(std::size_t count, float amplitude) { return std::vector<float>(count, amplitude); }

float atDecibels(double dBFS) { return static_cast<float>(std::pow(10.0, dBFS / 20.0)); }

struct LevelCase {
    const char* name;
    std::vector<float> samples;
    double expectedEveryBand;
};

TEST(AudioLevelsTest, UniformBuffersMapDecibelsLinearlyFromMinus50ToFullScale) {
    const std::vector<LevelCase> cases = {
        {"empty buffer", {}, 0.0},
        {"digital silence", constant(4096, 0.0f), 0.0},
        {"full scale", constant(4096, 1.0f), 1.0},
        {"negative full scale", constant(4096, -1.0f), 1.0},
        {"above full scale is capped", constant(4096, 2.0f), 1.0},
        {"-25 dBFS is half way", constant(4096, atDecibels(-25)), 0.5},
        {"-10 dBFS", constant(4096, atDecibels(-10)), 0.8},
        {"-50 dBFS is the floor", constant(4096, atDecibels(-50)), 0.0},
        {"-49 dBFS is just above the floor", constant(4096, atDecibels(-49)), 0.02},
        {"-60 dBFS is below the floor", constant(4096, atDecibels(-60)), 0.0},
        {"fewer samples than bands", constant(5, 1.0f), 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const AudioLevels levels = calculateLevels(c.samples);
        for (double level : levels) {
            EXPECT_NEAR(level, c.expectedEveryBand, 1e-4);
            EXPECT_GE(level, 0.0);
            EXPECT_LE(level, 1.0);
        }
    }
}

TEST(AudioLevelsTest, A4096SampleBufferIsMeasuredInSixBandsOf682IgnoringTheLastFour) {
    std::vector<float> samples(4096, 0.0f);
    const double bandDecibels[6] = {-45, -40, -30, -20, -10, 0};
    for (std::size_t band = 0; band < 6; ++band)
        for (std::size_t i = band * 682; i < (band + 1) * 682; ++i)
            samples[i] = atDecibels(bandDecibels[band]) * (i % 2 == 0 ? 1.0f : -1.0f);
    // The four samples after the sixth band would pull its level down if they were counted.
    for (std::size_t i = 6 * 682; i < 4096; ++i) samples[i] = 0.0f;
    const AudioLevels levels = calculateLevels(samples);
    for (std::size_t band = 0; band < 6; ++band) {
        SCOPED_TRACE(band);
        EXPECT_NEAR(levels[band], (bandDecibels[band] + 50) / 50, 1e-4);
    }

    samples[682] = 1.0f;  // first sample of band 1
    const AudioLevels moved = calculateLevels(samples);
    EXPECT_NEAR(moved[0], levels[0], 1e-6);
    EXPECT_GT(moved[1], levels[1]);
}

}  // namespace
}  // namespace quonvera
