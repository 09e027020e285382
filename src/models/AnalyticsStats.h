#pragma once

#include "core/ReferenceDate.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quonvera {

// The running usage counters. Stored as one compact JSON object whose keys are the field
// names; absent dates are left out.
struct AnalyticsStats {
    std::int64_t totalLaunches = 0;
    std::optional<WallTime> lastLaunchDate;
    bool onboardingCompleted = false;
    std::optional<WallTime> onboardingCompletedDate;
    std::int64_t totalTranscriptions = 0;
    std::int64_t cloudTranscriptions = 0;
    std::int64_t localTranscriptions = 0;
    std::int64_t updatesInstalled = 0;
    std::int64_t aiEnhancementsUsed = 0;

    bool operator==(const AnalyticsStats&) const = default;

    std::string encode() const;
    // nullopt when a required member is missing or has the wrong type.
    static std::optional<AnalyticsStats> decode(std::string_view text);
};

}  // namespace quonvera
