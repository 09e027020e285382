#pragma once

#include <chrono>

namespace quonvera {

using WallClock = std::chrono::system_clock;
using WallTime = WallClock::time_point;

// Stored dates are seconds since 2001-01-01 00:00:00 UTC, as a floating-point number.
inline constexpr double kReferenceDateUnixSeconds = 978307200.0;

inline double secondsSinceReferenceDate(WallTime time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count() - kReferenceDateUnixSeconds;
}

inline WallTime wallTimeFromReferenceSeconds(double seconds) {
    return WallTime(std::chrono::duration_cast<WallClock::duration>(
        std::chrono::duration<double>(seconds + kReferenceDateUnixSeconds)));
}

}  // namespace quonvera
