#pragma once

#include "core/ReferenceDate.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>

namespace quonvera {

// A stored date: a JSON number of seconds since 2001-01-01 UTC. nullopt for anything else,
// including numbers the clock cannot hold.
inline std::optional<WallTime> readStoredDate(const nlohmann::json& value) {
    constexpr double kLargest = 9.0e9;
    if (!value.is_number()) return std::nullopt;
    const double seconds = value.get<double>();
    if (!std::isfinite(seconds) || std::fabs(seconds) > kLargest) return std::nullopt;
    return wallTimeFromReferenceSeconds(seconds);
}

}  // namespace quonvera
