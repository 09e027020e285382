#pragma once

#include "platform/DisplayAccessProbe.h"

namespace quonvera {

// Opens the X display named by $DISPLAY and asks for XInput 2.2 and XTEST; reads the session
// type from XDG_SESSION_TYPE and WAYLAND_DISPLAY.
class X11DisplayAccessProbe final : public DisplayAccessProbe {
public:
    DisplayAccess probe() override;
};

}  // namespace quonvera
