#include "services/AudioLevels.h"

#include <algorithm>
#include <cmath>

namespace quonvera {

AudioLevels calculateLevels(std::span<const float> samples) {
    AudioLevels levels{};
    const std::size_t n = samples.size();
    if (n == 0) return levels;
    const std::size_t bandSize = n / 6;
    for (std::size_t band = 0; band < 6; ++band) {
        const std::size_t begin = band * bandSize;
        const std::size_t end = std::min((band + 1) * bandSize, n);
        if (end <= begin) continue;  // fewer than six samples: the empty bands stay at 0
        float sumOfSquares = 0.0f;
        for (std::size_t i = begin; i < end; ++i) sumOfSquares += samples[i] * samples[i];
        const float rms = std::sqrt(sumOfSquares / static_cast<float>(end - begin));
        const float decibels = 20.0f * std::log10(std::max(rms, 0.0001f));
        const float level = (decibels + 50.0f) / 50.0f;
        levels[band] = level <= 0.0f ? 0.0 : std::min(static_cast<double>(level), 1.0);
    }
    return levels;
}

}  // namespace quonvera
