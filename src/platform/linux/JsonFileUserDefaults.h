#pragma once

#include "platform/UserDefaults.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace quonvera {

// User defaults kept in one JSON object file whose members are the keys. Every change
// rewrites the file atomically with mode 0600. A missing, empty or unreadable file means
// nothing is stored.
class JsonFileUserDefaults final : public UserDefaults {
public:
    explicit JsonFileUserDefaults(std::filesystem::path file);

    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setString(const std::string& key, const std::string& value) override;
    void removeKey(const std::string& key) override;
    void removeAll() override;

    const std::filesystem::path& file() const { return file_; }

private:
    void writeLocked();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
};

}  // namespace quonvera
