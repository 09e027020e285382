#include "platform/linux/XTestKeystrokeSender.h"

#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <optional>
#include <vector>

namespace quonvera {
namespace {

// The key that gives `symbol` without Shift in the active group, else in any group, else at any
// level; the keyboard map is read fresh so a layout change takes effect at once.
std::optional<KeyCode> keyFor(Display* display, KeySym symbol) {
    XkbDescPtr keyboard = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!keyboard) {
        return std::nullopt;
    }
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    const int activeGroup = state.group;

    std::optional<KeyCode> inActiveGroup;
    std::optional<KeyCode> inOtherGroup;
    std::optional<KeyCode> atOtherLevel;
    for (int key = keyboard->min_key_code; key <= keyboard->max_key_code && !inActiveGroup; ++key) {
        const int groups = XkbKeyNumGroups(keyboard, key);
        for (int group = 0; group < groups; ++group) {
            const int levels = XkbKeyGroupWidth(keyboard, key, group);
            for (int level = 0; level < levels; ++level) {
                if (XkbKeySymEntry(keyboard, key, level, group) != symbol) {
                    continue;
                }
                const auto code = static_cast<KeyCode>(key);
                const bool keyInActiveGroup = group == (activeGroup < groups ? activeGroup : 0);
                if (level == 0 && keyInActiveGroup) {
                    inActiveGroup = code;
                } else if (level == 0 && !inOtherGroup) {
                    inOtherGroup = code;
                } else if (!atOtherLevel) {
                    atOtherLevel = code;
                }
            }
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    if (inActiveGroup) {
        return inActiveGroup;
    }
    return inOtherGroup ? inOtherGroup : atOtherLevel;
}

}  // namespace

XTestKeystrokeSender::XTestKeystrokeSender() {
    display_ = XOpenDisplay(nullptr);
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (display_ && !XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

XTestKeystrokeSender::~XTestKeystrokeSender() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

bool XTestKeystrokeSender::sendPaste(PasteKeys keys) {
    if (keys == PasteKeys::controlShiftV) {
        return pressChord({XK_Control_L, XK_Shift_L, XK_v});
    }
    return pressChord({XK_Control_L, XK_v});
}

bool XTestKeystrokeSender::sendBackspace() {
    return pressChord({XK_BackSpace});
}

bool XTestKeystrokeSender::pressChord(std::initializer_list<unsigned long> keySymbols) {
    if (!display_) {
        return false;
    }
    std::vector<KeyCode> codes;
    for (const unsigned long symbol : keySymbols) {
        const auto code = keyFor(display_, symbol);
        if (!code) {
            return false;
        }
        codes.push_back(*code);
    }
    for (const KeyCode code : codes) {
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
    }
    for (auto code = codes.rbegin(); code != codes.rend(); ++code) {
        XTestFakeKeyEvent(display_, *code, False, CurrentTime);
    }
    XSync(display_, False);
    return true;
}

}  // namespace quonvera
