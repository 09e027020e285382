#include "models/AnalyticsRecord.h"

#include "models/StoredDate.h"

#include <nlohmann/json.hpp>

namespace quonvera {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

std::optional<AnalyticsRecord> decodeRecord(const json& object) {
    if (!object.is_object()) return std::nullopt;
    AnalyticsRecord record;
    const auto event = object.find("event");
    if (event == object.end() || !event->is_string()) return std::nullopt;
    const auto known = analyticsEventFromRawValue(event->get_ref<const std::string&>());
    if (!known) return std::nullopt;
    record.event = *known;
    const auto timestamp = object.find("timestamp");
    if (timestamp == object.end()) return std::nullopt;
    const auto date = readStoredDate(*timestamp);
    if (!date) return std::nullopt;
    record.timestamp = *date;
    const auto metadata = object.find("metadata");
    if (metadata != object.end() && !metadata->is_null()) {
        if (!metadata->is_object()) return std::nullopt;
        std::map<std::string, std::string> values;
        for (const auto& [key, value] : metadata->items()) {
            if (!value.is_string()) return std::nullopt;
            values.emplace(key, value.get<std::string>());
        }
        record.metadata = std::move(values);
    }
    return record;
}

}  // namespace

std::string encodeAnalyticsRecords(const std::vector<AnalyticsRecord>& records) {
    ordered_json array = ordered_json::array();
    for (const auto& record : records) {
        ordered_json object;
        object["event"] = std::string(rawValue(record.event));
        object["timestamp"] = secondsSinceReferenceDate(record.timestamp);
        if (record.metadata) {
            ordered_json metadata = ordered_json::object();
            for (const auto& [key, value] : *record.metadata) metadata[key] = value;
            object["metadata"] = std::move(metadata);
        }
        array.push_back(std::move(object));
    }
    return array.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

std::optional<std::vector<AnalyticsRecord>> decodeAnalyticsRecords(std::string_view text) {
    const json document = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!document.is_array()) return std::nullopt;
    std::vector<AnalyticsRecord> records;
    records.reserve(document.size() + 1);
    for (const auto& object : document) {
        auto record = decodeRecord(object);
        if (!record) return std::nullopt;
        records.push_back(std::move(*record));
    }
    return records;
}

}  // namespace quonvera
