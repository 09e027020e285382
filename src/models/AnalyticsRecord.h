#pragma once

#include "core/ReferenceDate.h"
#include "models/AnalyticsEvent.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quonvera {

// One entry of the usage event log.
struct AnalyticsRecord {
    AnalyticsEvent event = AnalyticsEvent::appLaunched;
    WallTime timestamp;
    std::optional<std::map<std::string, std::string>> metadata;

    bool operator==(const AnalyticsRecord&) const = default;
};

// The stored event log: a compact JSON array of {"event", "timestamp", "metadata"} objects,
// oldest first; "metadata" is left out when there is none.
std::string encodeAnalyticsRecords(const std::vector<AnalyticsRecord>& records);

// nullopt when the text is not a log this system can read (an unknown event, a missing
// member, a wrong type anywhere).
std::optional<std::vector<AnalyticsRecord>> decodeAnalyticsRecords(std::string_view text);

}  // namespace quonvera
