#pragma once

#include <optional>
#include <string>

namespace quonvera {

// The application's small key-value store. Values are strings; a structured value (the
// settings record, the statistics) is stored as the UTF-8 text of its JSON encoding.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    virtual std::optional<std::string> stringForKey(const std::string& key) const = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;
    virtual void removeKey(const std::string& key) = 0;
    // Forgets every key and removes the backing store.
    virtual void removeAll() = 0;
};

}  // namespace quonvera
