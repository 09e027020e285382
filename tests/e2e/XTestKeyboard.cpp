#include "XTestKeyboard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>

namespace quonvera::test {

XTestKeyboard::XTestKeyboard(const std::string& keysymName) : display_(XOpenDisplay(nullptr)) {
    if (!display_) throw std::runtime_error("cannot open the X display");
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
        XCloseDisplay(display_);
        throw std::runtime_error("the X server has no XTEST extension");
    }
    keycode_ = XKeysymToKeycode(display_, XStringToKeysym(keysymName.c_str()));
    if (keycode_ == 0) {
        XCloseDisplay(display_);
        throw std::runtime_error("no key for " + keysymName);
    }
}

XTestKeyboard::~XTestKeyboard() {
    if (held_) release();
    XCloseDisplay(display_);
}

// Synchronous, so the event has reached the server when this returns.
void XTestKeyboard::send(bool down) {
    XTestFakeKeyEvent(display_, keycode_, down ? True : False, CurrentTime);
    XSync(display_, False);
    held_ = down;
}

}  // namespace quonvera::test
