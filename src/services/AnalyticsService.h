#pragma once

#include "app/contract/AnalyticsServiceInterface.h"
#include "core/ReferenceDate.h"
#include "models/AnalyticsRecord.h"
#include "models/AnalyticsStats.h"

#include <cstddef>
#include <functional>

namespace quonvera {

class UserDefaults;

// Local usage statistics: running counters and a log of the most recent events, both kept in
// the user defaults. Nothing is sent anywhere. Main thread only; callers on other threads
// post their calls to the main queue.
class AnalyticsService final : public AnalyticsServiceInterface {
public:
    static constexpr const char* userDefaultsKey = "com.quonvera.analytics";
    static constexpr const char* statsUserDefaultsKey = "com.quonvera.analyticsStats";
    static constexpr std::size_t maxStoredEvents = 1000;

    using Clock = std::function<WallTime()>;

    // Reads the stored counters; nothing is written until the first event.
    explicit AnalyticsService(UserDefaults& defaults, Clock clock = [] { return WallClock::now(); });

    void track(AnalyticsEvent event, std::optional<AnalyticsMetadata> metadata = std::nullopt) override;
    void trackTranscriptionCompleted(bool usedCloud) override;

    const AnalyticsStats& stats() const { return stats_; }

private:
    void loadStats();
    void apply(AnalyticsEvent event, WallTime now);
    void saveStats();
    std::vector<AnalyticsRecord> loadRecords() const;
    void appendRecord(AnalyticsRecord record);

    UserDefaults& defaults_;
    Clock clock_;
    AnalyticsStats stats_;
};

}  // namespace quonvera
