#pragma once

#include "platform/UserNotifications.h"

#include <QObject>

namespace quonvera {

// Notifications through the desktop's notification server (org.freedesktop.Notifications on the
// session bus). The server's answer arrives on the main thread's event loop.
class DBusUserNotifications : public UserNotifications {
public:
    void show(const UserNotification& notification,
              std::function<void(std::optional<std::string> error)> completion) override;

private:
    bool serverReadsMarkup();

    QObject pendingCalls_;  // parent of the calls still waiting for an answer
    std::optional<bool> serverReadsMarkup_;
};

}  // namespace quonvera
