#pragma once

#include <X11/Xlib.h>

namespace quonvera {

// Catches the X protocol errors of the requests made while it exists (a window that went away
// between two requests), instead of Xlib's default handler, which ends the process.
// Main thread only.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far; true when any request failed.
    bool failed();

private:
    Display* display_;
    XErrorHandler previous_;
};

}  // namespace quonvera
