#include "services/AnalyticsService.h"

#include "platform/UserDefaults.h"

#include <utility>

namespace quonvera {

AnalyticsService::AnalyticsService(UserDefaults& defaults, Clock clock)
    : defaults_(defaults), clock_(std::move(clock)) {
    loadStats();
}

void AnalyticsService::loadStats() {
    if (auto stored = defaults_.stringForKey(statsUserDefaultsKey))
        if (auto decoded = AnalyticsStats::decode(*stored)) stats_ = *decoded;
}

void AnalyticsService::track(AnalyticsEvent event, std::optional<AnalyticsMetadata> metadata) {
    const WallTime now = clock_();
    apply(event, now);
    saveStats();
    appendRecord(AnalyticsRecord{event, now, std::move(metadata)});
}

void AnalyticsService::trackTranscriptionCompleted(bool usedCloud) {
    track(usedCloud ? AnalyticsEvent::cloudTranscriptionUsed : AnalyticsEvent::localTranscriptionUsed);
    track(AnalyticsEvent::transcriptionCompleted);
}

void AnalyticsService::apply(AnalyticsEvent event, WallTime now) {
    switch (event) {
        case AnalyticsEvent::appLaunched:
            ++stats_.totalLaunches;
            stats_.lastLaunchDate = now;
            break;
        case AnalyticsEvent::transcriptionCompleted: ++stats_.totalTranscriptions; break;
        case AnalyticsEvent::cloudTranscriptionUsed: ++stats_.cloudTranscriptions; break;
        case AnalyticsEvent::localTranscriptionUsed: ++stats_.localTranscriptions; break;
        case AnalyticsEvent::aiEnhancementUsed: ++stats_.aiEnhancementsUsed; break;
        default: break;
    }
}

void AnalyticsService::saveStats() { defaults_.setString(statsUserDefaultsKey, stats_.encode()); }

std::vector<AnalyticsRecord> AnalyticsService::loadRecords() const {
    if (auto stored = defaults_.stringForKey(userDefaultsKey))
        if (auto records = decodeAnalyticsRecords(*stored)) return std::move(*records);
    return {};
}

void AnalyticsService::appendRecord(AnalyticsRecord record) {
    std::vector<AnalyticsRecord> records = loadRecords();
    records.push_back(std::move(record));
    if (records.size() > maxStoredEvents)
        records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(records.size() - maxStoredEvents));
    defaults_.setString(userDefaultsKey, encodeAnalyticsRecords(records));
}

}  // namespace quonvera
