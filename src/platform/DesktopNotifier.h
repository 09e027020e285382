#pragma once

#include <string>

namespace quonvera {

// Shows a desktop notification. Never blocks and never fails visibly: without a notification
// service nothing is shown.
class DesktopNotifier {
public:
    virtual ~DesktopNotifier() = default;
    virtual void notify(const std::string& title, const std::string& body) = 0;
};

}  // namespace quonvera
