#pragma once

#include "platform/UserDefaults.h"

#include <map>

namespace quonvera {

class InMemoryUserDefaults final : public UserDefaults {
public:
    std::optional<std::string> stringForKey(const std::string& key) const override {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void setString(const std::string& key, const std::string& value) override { values[key] = value; }
    void removeKey(const std::string& key) override { values.erase(key); }
    void removeAll() override { values.clear(); }

    std::map<std::string, std::string> values;
};

}  // namespace quonvera
