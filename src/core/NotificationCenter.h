#pragma once

#include "core/Subscription.h"

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quonvera {

struct Notification {
    std::string name;
    std::map<std::string, std::any> userInfo;
};

// Delivers named notifications synchronously to the observers of that name. Main thread only.
class NotificationCenter {
public:
    NotificationCenter() : observers_(std::make_shared<Observers>()) {}

    [[nodiscard]] Subscription addObserver(const std::string& name, std::function<void(const Notification&)> observer) {
        auto entry = std::make_shared<Entry>(Entry{name, std::move(observer)});
        observers_->push_back(entry);
        std::weak_ptr<Observers> weak = observers_;
        return Subscription([weak, entry] {
            if (auto observers = weak.lock()) std::erase(*observers, entry);
        });
    }

    void post(const Notification& notification) {
        const auto snapshot = *observers_;
        for (const auto& entry : snapshot)
            if (entry->name == notification.name) entry->observer(notification);
    }

private:
    struct Entry {
        std::string name;
        std::function<void(const Notification&)> observer;
    };
    using Observers = std::vector<std::shared_ptr<Entry>>;
    std::shared_ptr<Observers> observers_;
};

}  // namespace quonvera
