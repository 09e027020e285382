#pragma once

#include "core/BackgroundFileWriter.h"
#include "platform/UserDefaults.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace quonvera {

// User defaults kept in one JSON object file whose members are the keys. Values change in
// memory at once; the file is rewritten atomically (mode 0600) on a background writer, so a
// change never waits for the disk. A missing, empty or unreadable file means nothing is stored.
class JsonFileUserDefaults final : public UserDefaults {
public:
    explicit JsonFileUserDefaults(std::filesystem::path file);

    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setString(const std::string& key, const std::string& value) override;
    void removeKey(const std::string& key) override;
    void removeAll() override;

    const std::filesystem::path& file() const { return file_; }
    // Waits until the file holds every change made so far.
    void flush() { writer_.flush(); }

private:
    void writeLocked();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
    bool folderReady_ = false;
    BackgroundFileWriter writer_{"UserDefaults: Could not save"};
};

}  // namespace quonvera
