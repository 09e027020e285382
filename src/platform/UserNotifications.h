#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quonvera {

struct UserNotification {
    std::string title;
    std::string body;
    bool silent = false;
};

// Desktop notifications shown to the user. Main thread only.
class UserNotifications {
public:
    virtual ~UserNotifications() = default;
    // Shows `notification` now and returns at once. `completion` runs later on the main thread
    // with the error text when the desktop refused it, or nothing when it was accepted.
    virtual void show(const UserNotification& notification,
                      std::function<void(std::optional<std::string> error)> completion) = 0;
};

}  // namespace quonvera
