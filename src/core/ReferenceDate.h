#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>

namespace quonvera {

using WallClock = std::chrono::system_clock;
using WallTime = WallClock::time_point;

// Stored dates are seconds since 2001-01-01 00:00:00 UTC, as a floating-point number.
inline constexpr double kReferenceDateUnixSeconds = 978307200.0;
inline constexpr std::int64_t kReferenceDateUnixWholeSeconds = 978307200;

// The conversions go through whole seconds and nanoseconds separately instead of adding the
// 1970 offset in floating point, which would drop the lowest bit of about half of all stored
// values: a stored date read and written again keeps every digit.
inline double secondsSinceReferenceDate(WallTime time) {
    using std::chrono::nanoseconds;
    constexpr std::int64_t kBillion = 1'000'000'000;
    const std::int64_t sinceReference =
        std::chrono::duration_cast<nanoseconds>(time.time_since_epoch()).count() - kReferenceDateUnixWholeSeconds * kBillion;
    std::int64_t whole = sinceReference / kBillion;
    std::int64_t fraction = sinceReference % kBillion;
    if (fraction < 0) {
        fraction += kBillion;
        whole -= 1;
    }
    return static_cast<double>(whole) + static_cast<double>(fraction) / 1e9;
}

// Values beyond the range of the clock (about 290 years either side of 1970) are clamped.
inline WallTime wallTimeFromReferenceSeconds(double seconds) {
    using std::chrono::nanoseconds;
    constexpr double kLimit = 9.0e9;  // seconds; well inside a signed 64-bit count of nanoseconds
    if (std::isnan(seconds)) seconds = 0;
    if (seconds > kLimit) seconds = kLimit;
    if (seconds < -kLimit) seconds = -kLimit;
    const double whole = std::floor(seconds);
    const double fraction = seconds - whole;  // exact, in [0, 1)
    const std::int64_t sinceEpoch = (static_cast<std::int64_t>(whole) + kReferenceDateUnixWholeSeconds) * 1'000'000'000 +
                                    std::llround(fraction * 1e9);
    return WallTime(std::chrono::round<WallClock::duration>(nanoseconds(sinceEpoch)));
}

}  // namespace quonvera
