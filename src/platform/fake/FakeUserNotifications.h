#pragma once

#include "platform/UserNotifications.h"

#include <vector>

namespace quonvera {

// Keeps the notifications shown; `refuseWith` makes the desktop refuse them with that error.
class FakeUserNotifications : public UserNotifications {
public:
    void show(const UserNotification& notification,
              std::function<void(std::optional<std::string> error)> completion) override {
        shown.push_back(notification);
        if (completion) {
            completion(refuseWith);
        }
    }

    std::vector<UserNotification> shown;
    std::optional<std::string> refuseWith;
};

}  // namespace quonvera
