#include "models/AnalyticsStats.h"

#include "models/StoredDate.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace quonvera {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

bool readCount(const json& object, const char* name, std::int64_t& count) {
    const auto value = object.find(name);
    if (value == object.end()) return false;
    if (value->is_number_unsigned()) {
        const auto unsignedValue = value->get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
        count = static_cast<std::int64_t>(unsignedValue);
        return true;
    }
    if (!value->is_number_integer()) return false;
    count = value->get<std::int64_t>();
    return true;
}

// An absent or null optional date is none; any other non-date fails the whole record.
bool readOptionalDate(const json& object, const char* name, std::optional<WallTime>& date) {
    const auto value = object.find(name);
    if (value == object.end() || value->is_null()) {
        date.reset();
        return true;
    }
    date = readStoredDate(*value);
    return date.has_value();
}

}  // namespace

std::string AnalyticsStats::encode() const {
    ordered_json object;
    object["totalLaunches"] = totalLaunches;
    if (lastLaunchDate) object["lastLaunchDate"] = secondsSinceReferenceDate(*lastLaunchDate);
    object["onboardingCompleted"] = onboardingCompleted;
    if (onboardingCompletedDate) object["onboardingCompletedDate"] = secondsSinceReferenceDate(*onboardingCompletedDate);
    object["totalTranscriptions"] = totalTranscriptions;
    object["cloudTranscriptions"] = cloudTranscriptions;
    object["localTranscriptions"] = localTranscriptions;
    object["updatesInstalled"] = updatesInstalled;
    object["aiEnhancementsUsed"] = aiEnhancementsUsed;
    return object.dump();
}

std::optional<AnalyticsStats> AnalyticsStats::decode(std::string_view text) {
    const json object = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) return std::nullopt;
    AnalyticsStats stats;
    const auto onboarding = object.find("onboardingCompleted");
    if (onboarding == object.end() || !onboarding->is_boolean()) return std::nullopt;
    stats.onboardingCompleted = onboarding->get<bool>();
    const bool ok = readCount(object, "totalLaunches", stats.totalLaunches) &&
                    readOptionalDate(object, "lastLaunchDate", stats.lastLaunchDate) &&
                    readOptionalDate(object, "onboardingCompletedDate", stats.onboardingCompletedDate) &&
                    readCount(object, "totalTranscriptions", stats.totalTranscriptions) &&
                    readCount(object, "cloudTranscriptions", stats.cloudTranscriptions) &&
                    readCount(object, "localTranscriptions", stats.localTranscriptions) &&
                    readCount(object, "updatesInstalled", stats.updatesInstalled) &&
                    readCount(object, "aiEnhancementsUsed", stats.aiEnhancementsUsed);
    if (!ok) return std::nullopt;
    return stats;
}

}  // namespace quonvera
