#include "platform/linux/X11DisplayAccessProbe.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <cstdlib>
#include <string_view>

namespace quonvera {

namespace {

bool hasXInput22(Display* display) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return false;
    int major = 2;
    int minor = 2;
    if (XIQueryVersion(display, &major, &minor) != Success) return false;
    return major > 2 || (major == 2 && minor >= 2);
}

bool hasXTest(Display* display) {
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    return XTestQueryExtension(display, &event, &error, &major, &minor) != 0;
}

bool isWaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type != nullptr && std::string_view(type) == "wayland") return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && wayland[0] != '\0';
}

}  // namespace

DisplayAccess X11DisplayAccessProbe::probe() {
    DisplayAccess access;
    access.waylandSession = isWaylandSession();
    const char* name = std::getenv("DISPLAY");
    access.displayName = name != nullptr ? name : "";
    if (access.displayName.empty()) return access;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return access;
    access.displayOpens = true;
    access.hasXInput22 = hasXInput22(display);
    access.hasXTest = hasXTest(display);
    XCloseDisplay(display);
    return access;
}

}  // namespace quonvera
