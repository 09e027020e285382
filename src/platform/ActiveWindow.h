#pragma once

#include <optional>
#include <string>

namespace quonvera {

// The window in front on the desktop. Main thread only.
class ActiveWindow {
public:
    virtual ~ActiveWindow() = default;
    // The class name of the active window's application (the class part of WM_CLASS on X11);
    // nothing when no window is active or it does not name its class.
    virtual std::optional<std::string> applicationClass() = 0;
};

}  // namespace quonvera
