#include "services/AnalyticsService.h"

#include "platform/fake/InMemoryUserDefaults.h"
#include "platform/linux/JsonFileUserDefaults.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quonvera {
namespace {

using nlohmann::json;

class AnalyticsServiceTest : public ::testing::Test {
protected:
    AnalyticsService makeService() {
        return AnalyticsService(defaults, [this] { return wallTimeFromReferenceSeconds(now); });
    }
    std::vector<AnalyticsRecord> storedRecords() const {
        const auto stored = defaults.stringForKey(AnalyticsService::userDefaultsKey);
        if (!stored) return {};
        return decodeAnalyticsRecords(*stored).value_or(std::vector<AnalyticsRecord>{});
    }
    json storedStats() const { return json::parse(defaults.stringForKey(AnalyticsService::statsUserDefaultsKey).value()); }
    std::vector<AnalyticsEvent> storedEvents() const {
        std::vector<AnalyticsEvent> events;
        for (const auto& record : storedRecords()) events.push_back(record.event);
        return events;
    }

    InMemoryUserDefaults defaults;
    double now = 787000000.25;
};

TEST_F(AnalyticsServiceTest, NothingIsStoredAtCreation) {
    auto service = makeService();
    EXPECT_TRUE(defaults.values.empty());
    EXPECT_EQ(service.stats(), AnalyticsStats{});
}

TEST_F(AnalyticsServiceTest, The1001stRecordDropsTheOldest) {
    std::vector<AnalyticsRecord> full;
    for (int n = 0; n < 1000; ++n)
        full.push_back({AnalyticsEvent::transcriptionStarted, wallTimeFromReferenceSeconds(700000000.0 + n), std::nullopt});
    defaults.setString(AnalyticsService::userDefaultsKey, encodeAnalyticsRecords(full));

    auto service = makeService();
    service.track(AnalyticsEvent::aiEnhancementUsed);
    const auto records = storedRecords();
    ASSERT_EQ(records.size(), 1000u);
    EXPECT_EQ(records.front(), full[1]);
    EXPECT_EQ(records.back(), (AnalyticsRecord{AnalyticsEvent::aiEnhancementUsed, wallTimeFromReferenceSeconds(now), std::nullopt}));
}

TEST_F(AnalyticsServiceTest, AFinishedTranscriptionAddsItsSourceThenCompletion) {
    struct Case {
        bool usedCloud;
        AnalyticsEvent source;
        std::int64_t cloud;
        std::int64_t local;
    };
    for (const Case& c : {Case{true, AnalyticsEvent::cloudTranscriptionUsed, 1, 0},
                          Case{false, AnalyticsEvent::localTranscriptionUsed, 0, 1}}) {
        SCOPED_TRACE(c.usedCloud ? "cloud" : "local");
        defaults.removeAll();
        auto service = makeService();
        service.track(AnalyticsEvent::transcriptionStarted);
        service.trackTranscriptionCompleted(c.usedCloud);
        EXPECT_EQ(storedEvents(), (std::vector<AnalyticsEvent>{AnalyticsEvent::transcriptionStarted, c.source,
                                                              AnalyticsEvent::transcriptionCompleted}));
        const json stats = storedStats();
        EXPECT_EQ(stats["cloudTranscriptions"], c.cloud);
        EXPECT_EQ(stats["localTranscriptions"], c.local);
        EXPECT_EQ(stats["totalTranscriptions"], 1);
        EXPECT_EQ(service.stats().totalTranscriptions, 1);
    }
}

TEST_F(AnalyticsServiceTest, MetadataIsStoredOnlyWhenGiven) {
    now = 787000000.5;
    auto service = makeService();
    service.track(AnalyticsEvent::transcriptionStarted);
    service.track(AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "microphone"}});
    service.track(AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "accessibility"}});
    service.track(AnalyticsEvent::transcriptionFailed, AnalyticsMetadata{{"error", "No \"speech\" detected"}});
    EXPECT_EQ(defaults.stringForKey(AnalyticsService::userDefaultsKey),
              R"([{"event":"transcription_started","timestamp":787000000.5},)"
              R"({"event":"permissions_granted","timestamp":787000000.5,"metadata":{"type":"microphone"}},)"
              R"({"event":"permissions_granted","timestamp":787000000.5,"metadata":{"type":"accessibility"}},)"
              R"({"event":"transcription_failed","timestamp":787000000.5,"metadata":{"error":"No \"speech\" detected"}}])");
}

TEST_F(AnalyticsServiceTest, CountersFollowTheirEventsAndSurviveARestart) {
    {
        auto service = makeService();
        service.track(AnalyticsEvent::appLaunched);
        service.trackTranscriptionCompleted(true);
        service.trackTranscriptionCompleted(false);
        service.track(AnalyticsEvent::aiEnhancementUsed);
        now += 60.125;
        service.track(AnalyticsEvent::appLaunched);
        service.track(AnalyticsEvent::updateInstalled);  // counts nothing in this system
    }
    AnalyticsStats expected;
    expected.totalLaunches = 2;
    expected.lastLaunchDate = wallTimeFromReferenceSeconds(now);
    expected.totalTranscriptions = 2;
    expected.cloudTranscriptions = 1;
    expected.localTranscriptions = 1;
    expected.aiEnhancementsUsed = 1;
    EXPECT_EQ(makeService().stats(), expected);
    EXPECT_EQ(AnalyticsStats::decode(expected.encode()), expected);
}

TEST_F(AnalyticsServiceTest, LastLaunchDateIsAbsentUntilTheFirstLaunch) {
    auto service = makeService();
    service.track(AnalyticsEvent::modelDownloadStarted);
    EXPECT_FALSE(storedStats().contains("lastLaunchDate"));
    EXPECT_EQ(defaults.stringForKey(AnalyticsService::statsUserDefaultsKey),
              R"({"totalLaunches":0,"onboardingCompleted":false,"totalTranscriptions":0,"cloudTranscriptions":0,)"
              R"("localTranscriptions":0,"updatesInstalled":0,"aiEnhancementsUsed":0})");

    service.track(AnalyticsEvent::appLaunched);
    EXPECT_EQ(storedStats()["lastLaunchDate"], now);
    EXPECT_EQ(storedStats()["totalLaunches"], 1);
}

TEST_F(AnalyticsServiceTest, UnusableStoredCountersStartOverFromZero) {
    const std::string valid = [] {
        AnalyticsStats stats;
        stats.totalLaunches = 5;
        stats.totalTranscriptions = 9;
        return stats.encode();
    }();
    auto without = [&](const char* member) {
        json object = json::parse(valid);
        object.erase(member);
        return object.dump();
    };
    auto with = [&](const char* member, json value) {
        json object = json::parse(valid);
        object[member] = std::move(value);
        return object.dump();
    };
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"missing totalLaunches", without("totalLaunches")},
        {"missing onboardingCompleted", without("onboardingCompleted")},
        {"missing aiEnhancementsUsed", without("aiEnhancementsUsed")},
        {"counter as a string", with("totalTranscriptions", "9")},
        {"counter with a fraction", with("totalTranscriptions", 9.5)},
        {"date as a string", with("lastLaunchDate", "yesterday")},
        {"not an object", "[]"},
        {"not JSON", "{"},
    };
    for (const auto& [name, stored] : cases) {
        SCOPED_TRACE(name);
        defaults.removeAll();
        defaults.setString(AnalyticsService::statsUserDefaultsKey, stored);
        auto service = makeService();
        EXPECT_EQ(service.stats(), AnalyticsStats{});
        service.track(AnalyticsEvent::transcriptionCompleted);
        EXPECT_EQ(storedStats()["totalTranscriptions"], 1);
        EXPECT_EQ(storedStats()["totalLaunches"], 0);
    }
    // Absent optional dates, written as null by some encoders, are fine.
    defaults.setString(AnalyticsService::statsUserDefaultsKey, with("onboardingCompletedDate", nullptr));
    EXPECT_EQ(makeService().stats().totalLaunches, 5);
}

TEST_F(AnalyticsServiceTest, AnUnreadableEventLogIsReplacedByTheNewRecord) {
    for (const std::string stored : {"not json", R"([{"event":"no_such_event","timestamp":1}])",
                                     R"([{"event":"app_launched"}])", R"([{"event":"app_launched","timestamp":1,"metadata":{"a":1}}])"}) {
        SCOPED_TRACE(stored);
        defaults.setString(AnalyticsService::userDefaultsKey, stored);
        makeService().track(AnalyticsEvent::appLaunched);
        EXPECT_EQ(storedEvents(), (std::vector<AnalyticsEvent>{AnalyticsEvent::appLaunched}));
    }
}

TEST_F(AnalyticsServiceTest, StoresBothValuesInTheDefaultsFile) {
    test::TemporaryFolder folder;
    const auto file = folder / "defaults.json";
    {
        JsonFileUserDefaults fileDefaults(file);
        AnalyticsService(fileDefaults).track(AnalyticsEvent::appLaunched);
    }
    JsonFileUserDefaults reopened(file);
    EXPECT_EQ(AnalyticsService(reopened).stats().totalLaunches, 1);
    const auto log = decodeAnalyticsRecords(reopened.stringForKey(AnalyticsService::userDefaultsKey).value_or(""));
    ASSERT_TRUE(log);
    EXPECT_EQ(log->size(), 1u);
}

}  // namespace
}  // namespace quonvera
