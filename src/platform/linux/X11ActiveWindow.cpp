#include "platform/linux/X11ActiveWindow.h"

#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace quonvera {

X11ActiveWindow::X11ActiveWindow() : display_(XOpenDisplay(nullptr)) {}

X11ActiveWindow::~X11ActiveWindow() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

std::optional<std::string> X11ActiveWindow::applicationClass() {
    if (!display_) {
        return std::nullopt;
    }
    {
        // A window manager that has gone may leave a stale property behind.
        X11ErrorTrap trap(display_);
        const Window window = windowManagerActiveWindow();
        if (window != None) {
            auto name = classOf(window);
            if (!trap.failed()) {
                return name;
            }
        }
    }
    X11ErrorTrap trap(display_);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (focus == None || focus == PointerRoot || trap.failed()) {
        return std::nullopt;
    }
    auto name = classOf(focus);
    return trap.failed() ? std::nullopt : name;
}

unsigned long X11ActiveWindow::windowManagerActiveWindow() {
    const Atom property = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    Window window = None;
    if (XGetWindowProperty(display_, DefaultRootWindow(display_), property, 0, 1, False, XA_WINDOW, &type,
                           &format, &count, &remaining, &data) == Success &&
        type == XA_WINDOW && format == 32 && count == 1 && data) {
        window = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data) {
        XFree(data);
    }
    return window;
}

std::optional<std::string> X11ActiveWindow::classOf(Window window) {
    const Window root = DefaultRootWindow(display_);
    // The focus can sit on a child of the application's top-level window.
    while (window != None && window != root) {
        XClassHint hint{};
        if (XGetClassHint(display_, window, &hint)) {
            std::optional<std::string> name;
            if (hint.res_class) {
                name = hint.res_class;
            }
            XFree(hint.res_name);
            XFree(hint.res_class);
            return name;
        }
        Window parent = None;
        Window rootReturn = None;
        Window* children = nullptr;
        unsigned int childCount = 0;
        if (!XQueryTree(display_, window, &rootReturn, &parent, &children, &childCount)) {
            return std::nullopt;
        }
        if (children) {
            XFree(children);
        }
        window = parent;
    }
    return std::nullopt;
}

}  // namespace quonvera
