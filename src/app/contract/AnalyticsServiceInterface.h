#pragma once

#include "models/AnalyticsEvent.h"

#include <map>
#include <optional>
#include <string>

namespace quonvera {

using AnalyticsMetadata = std::map<std::string, std::string>;

// Local usage statistics. Main thread only.
class AnalyticsServiceInterface {
public:
    virtual ~AnalyticsServiceInterface() = default;
    virtual void track(AnalyticsEvent event, std::optional<AnalyticsMetadata> metadata = std::nullopt) = 0;
    virtual void trackTranscriptionCompleted(bool usedCloud) = 0;
};

}  // namespace quonvera
