#pragma once

#include "platform/DesktopNotifier.h"

namespace quonvera {

// Sends org.freedesktop.Notifications.Notify on the session bus without waiting for the answer.
class DBusDesktopNotifier final : public DesktopNotifier {
public:
    void notify(const std::string& title, const std::string& body) override;
};

}  // namespace quonvera
