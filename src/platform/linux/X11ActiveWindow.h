#pragma once

#include "platform/ActiveWindow.h"

struct _XDisplay;

namespace quonvera {

// The active window from the window manager's _NET_ACTIVE_WINDOW, or the X input focus where no
// window manager sets it; its class is the class part of WM_CLASS, looked up on the window or the
// nearest ancestor that has one. Holds its own connection to the X display.
class X11ActiveWindow : public ActiveWindow {
public:
    X11ActiveWindow();
    ~X11ActiveWindow() override;
    X11ActiveWindow(const X11ActiveWindow&) = delete;
    X11ActiveWindow& operator=(const X11ActiveWindow&) = delete;

    std::optional<std::string> applicationClass() override;

private:
    unsigned long windowManagerActiveWindow();
    std::optional<std::string> classOf(unsigned long window);

    _XDisplay* display_;
};

}  // namespace quonvera
