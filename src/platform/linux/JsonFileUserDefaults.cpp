#include "platform/linux/JsonFileUserDefaults.h"

#include "core/AtomicFile.h"
#include "core/Log.h"

#include <nlohmann/json.hpp>
#include <chrono>
#include <system_error>

namespace quonvera {

JsonFileUserDefaults::JsonFileUserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    const auto text = readWholeFile(file_);
    if (!text || text->empty()) return;
    const auto json = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) {
        // Keep the unreadable file for the user rather than overwriting it at the next change.
        const auto stamp = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::system_clock::now().time_since_epoch()).count();
        auto aside = file_;
        aside += ".unreadable-" + std::to_string(stamp);
        std::error_code error;
        std::filesystem::rename(file_, aside, error);
        logLine("UserDefaults: Could not read " + file_.string() + ", starting with nothing stored" +
                (error ? std::string() : "; the file was moved to " + aside.string()));
        return;
    }
    for (const auto& [key, value] : json.items())
        if (value.is_string()) values_[key] = value.get<std::string>();
}

std::optional<std::string> JsonFileUserDefaults::stringForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void JsonFileUserDefaults::setString(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
    writeLocked();
}

void JsonFileUserDefaults::removeKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (values_.erase(key) > 0) writeLocked();
}

void JsonFileUserDefaults::removeAll() {
    std::lock_guard lock(mutex_);
    values_.clear();
    writer_.remove(file_);
}

void JsonFileUserDefaults::writeLocked() {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [key, value] : values_) json[key] = value;
    const auto folder = file_.parent_path();
    if (!folderReady_ && !folder.empty()) {
        std::error_code error;
        if (!std::filesystem::exists(folder, error)) {
            std::filesystem::create_directories(folder, error);
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
        }
        folderReady_ = true;
    }
    writer_.write(file_, json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), 0600);
}

}  // namespace quonvera
