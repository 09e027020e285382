#include "platform/linux/X11ErrorTrap.h"

namespace quonvera {
namespace {

bool errorSeen = false;

int recordError(Display*, XErrorEvent*) {
    errorSeen = true;
    return 0;
}

}  // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    errorSeen = false;
    previous_ = XSetErrorHandler(recordError);
}

X11ErrorTrap::~X11ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
}

bool X11ErrorTrap::failed() {
    XSync(display_, False);
    return errorSeen;
}

}  // namespace quonvera
