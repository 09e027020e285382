#pragma once

#include <string>

namespace quonvera {

// What the desktop offers for watching the keyboard and typing into other applications.
struct DisplayAccess {
    bool displayOpens = false;     // the X display could be opened
    bool hasXInput22 = false;      // XInput 2.2 or later (raw key events)
    bool hasXTest = false;         // XTEST (synthetic key events)
    bool waylandSession = false;   // the desktop session is a Wayland session
    std::string displayName;       // the display asked for ($DISPLAY), empty when unset
};

class DisplayAccessProbe {
public:
    virtual ~DisplayAccessProbe() = default;
    virtual DisplayAccess probe() = 0;
};

}  // namespace quonvera
