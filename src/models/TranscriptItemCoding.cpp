#include "models/TranscriptItemCoding.h"

#include "core/Uuid.h"
#include "models/StoredDate.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

namespace quonvera {
namespace {

using nlohmann::json;

std::string upperCased(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::optional<std::string> decodeItem(const json& object, TranscriptItem& item) {
    if (!object.is_object()) return "not an object";
    const auto id = object.find("id");
    if (id == object.end()) return "missing member \"id\"";
    if (!id->is_string() || !isUuidString(id->get<std::string>())) return "\"id\" is not a UUID string";
    const auto timestamp = object.find("timestamp");
    if (timestamp == object.end()) return "missing member \"timestamp\"";
    const auto date = readStoredDate(*timestamp);
    if (!date) return "\"timestamp\" is not a date in seconds";
    const auto text = object.find("text");
    if (text == object.end()) return "missing member \"text\"";
    if (!text->is_string()) return "\"text\" is not a string";
    const auto succeeded = object.find("insertionSucceeded");
    if (succeeded == object.end()) return "missing member \"insertionSucceeded\"";
    if (!succeeded->is_boolean()) return "\"insertionSucceeded\" is not a boolean";

    item.id = upperCased(id->get<std::string>());
    item.timestamp = *date;
    item.text = text->get<std::string>();
    item.insertionSucceeded = succeeded->get<bool>();
    return std::nullopt;
}

}  // namespace

std::string encodeTranscriptItems(const std::vector<TranscriptItem>& items) {
    // An ordered object keeps the members in the order they are written.
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const auto& item : items) {
        nlohmann::ordered_json object;
        object["id"] = item.id;
        object["timestamp"] = secondsSinceReferenceDate(item.timestamp);
        object["text"] = item.text;
        object["insertionSucceeded"] = item.insertionSucceeded;
        array.push_back(std::move(object));
    }
    return array.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

Result<std::vector<TranscriptItem>, std::string> decodeTranscriptItems(std::string_view text) {
    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& error) {
        return std::string(error.what());
    }
    if (!document.is_array()) return std::string("the file does not hold a JSON array");
    std::vector<TranscriptItem> items;
    items.reserve(document.size());
    for (std::size_t index = 0; index < document.size(); ++index) {
        TranscriptItem item;
        if (auto error = decodeItem(document[index], item))
            return "entry " + std::to_string(index) + ": " + *error;
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace quonvera
