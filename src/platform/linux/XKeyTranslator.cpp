#include "platform/linux/XKeyTranslator.h"

#include <X11/keysym.h>

namespace quonvera {
namespace {

// The virtual key code of a keysym produced without modifiers, kNoKey when it has none.
std::uint16_t virtualKeyForKeysym(unsigned long keysym) {
    switch (keysym) {
    case XK_a: return 0;   case XK_s: return 1;   case XK_d: return 2;   case XK_f: return 3;
    case XK_h: return 4;   case XK_g: return 5;   case XK_z: return 6;   case XK_x: return 7;
    case XK_c: return 8;   case XK_v: return 9;   case XK_b: return 11;  case XK_q: return 12;
    case XK_w: return 13;  case XK_e: return 14;  case XK_r: return 15;  case XK_y: return 16;
    case XK_t: return 17;  case XK_o: return 31;  case XK_u: return 32;  case XK_i: return 34;
    case XK_p: return 35;  case XK_l: return 37;  case XK_j: return 38;  case XK_k: return 40;
    case XK_n: return 45;  case XK_m: return 46;
    case XK_1: return 18;  case XK_2: return 19;  case XK_3: return 20;  case XK_4: return 21;
    case XK_6: return 22;  case XK_5: return 23;  case XK_9: return 25;  case XK_7: return 26;
    case XK_8: return 28;  case XK_0: return 29;
    case XK_equal: return 24;        case XK_minus: return 27;      case XK_bracketright: return 30;
    case XK_bracketleft: return 33;  case XK_apostrophe: return 39; case XK_semicolon: return 41;
    case XK_backslash: return 42;    case XK_comma: return 43;      case XK_slash: return 44;
    case XK_period: return 47;       case XK_grave: return 50;
    case XK_Return: return 36;       case XK_Tab: case XK_ISO_Left_Tab: return 48;
    case XK_space: return 49;        case XK_BackSpace: return 51;  case XK_Escape: return 53;
    case XK_KP_Enter: return 76;
    case XK_F1: return 122;  case XK_F2: return 120;  case XK_F3: return 99;   case XK_F4: return 118;
    case XK_F5: return 96;   case XK_F6: return 97;   case XK_F7: return 98;   case XK_F8: return 100;
    case XK_F9: return 101;  case XK_F10: return 109; case XK_F11: return 103; case XK_F12: return 111;
    case XK_F13: return 105; case XK_F14: return 107; case XK_F15: return 113;
    case XK_Left: return 123;  case XK_Right: return 124; case XK_Down: return 125; case XK_Up: return 126;
    case XK_Home: return 115;  case XK_Prior: return 116; case XK_Delete: return 117;
    case XK_End: return 119;   case XK_Next: return 121;
    case XK_Control_L: return VirtualKey::control;  case XK_Control_R: return VirtualKey::rightControl;
    case XK_Shift_L: return VirtualKey::shift;      case XK_Shift_R: return VirtualKey::rightShift;
    case XK_Alt_L: return VirtualKey::option;       case XK_Alt_R: return VirtualKey::rightOption;
    case XK_Super_L: return VirtualKey::command;    case XK_Super_R: return VirtualKey::rightCommand;
    default: return XKeyTranslator::kNoKey;
    }
}

// The virtual key code of the key at the same place on a US keyboard, for the typing keys only.
// Indexed by the kernel's key code (X key code - 8).
std::uint16_t virtualKeyForPosition(unsigned keycode) {
    static constexpr std::uint16_t n = XKeyTranslator::kNoKey;
    static constexpr std::array<std::uint16_t, 54> byEvdev = {
        n,  n,  18, 19, 20, 21, 23, 22, 26, 28, 25, 29, 27, 24, n,  n,   // 0-15: digits, - =
        12, 13, 14, 15, 17, 16, 32, 34, 31, 35, 33, 30, n,  n,          // 16-29: q..p [ ]
        0,  1,  2,  3,  5,  4,  38, 40, 37, 41, 39, 50, n,  42,         // 30-43: a..l ; ' ` \ .
        6,  7,  8,  9,  11, 45, 46, 43, 47, 44,                         // 44-53: z..m , . /
    };
    if (keycode < 8 || keycode - 8 >= byEvdev.size()) return n;
    return byEvdev[keycode - 8];
}

}  // namespace

unsigned long XKeyboardMapping::keysymAt(unsigned keycode, int index) const {
    if (keycode < minKeycode || index < 0 || index >= keysymsPerKeycode) return 0;
    const std::size_t at = static_cast<std::size_t>(keycode - minKeycode) * static_cast<std::size_t>(keysymsPerKeycode) +
                           static_cast<std::size_t>(index);
    return at < keysyms.size() ? keysyms[at] : 0;
}

void XKeyTranslator::setMapping(const XKeyboardMapping& mapping, unsigned long fnStandInKeysym) {
    for (unsigned keycode = 0; keycode < keys_.size(); ++keycode) {
        const unsigned long keysym = mapping.keysymAt(keycode, 0);
        Key key;
        if (fnStandInKeysym != 0 && keysym == fnStandInKeysym) {
            key = {VirtualKey::fn, Role::fn};
        } else {
            key.code = virtualKeyForKeysym(keysym);
            if (key.code == kNoKey) key.code = virtualKeyForPosition(keycode);
            switch (keysym) {
            case XK_Shift_L: case XK_Shift_R: key.role = Role::shift; break;
            case XK_Control_L: case XK_Control_R: key.role = Role::control; break;
            case XK_Alt_L: case XK_Alt_R: key.role = Role::option; break;
            case XK_Super_L: case XK_Super_R: key.role = Role::command; break;
            default: break;
            }
        }
        keys_[keycode] = key;
    }
    recountHeldModifiers();
}

void XKeyTranslator::recountHeldModifiers() noexcept {
    held_ = {};
    for (std::size_t keycode = 0; keycode < keys_.size(); ++keycode)
        if (down_[keycode] && keys_[keycode].role != Role::none) ++held_[static_cast<std::size_t>(keys_[keycode].role)];
}

std::uint64_t XKeyTranslator::flags() const noexcept {
    std::uint64_t flags = KeyFlag::nonCoalesced;
    if (held_[static_cast<std::size_t>(Role::shift)]) flags |= KeyFlag::shift;
    if (held_[static_cast<std::size_t>(Role::control)]) flags |= KeyFlag::control;
    if (held_[static_cast<std::size_t>(Role::option)]) flags |= KeyFlag::option;
    if (held_[static_cast<std::size_t>(Role::command)]) flags |= KeyFlag::command;
    if (held_[static_cast<std::size_t>(Role::fn)]) flags |= KeyFlag::fn;
    return flags;
}

std::optional<KeyEvent> XKeyTranslator::translate(unsigned keycode, bool press, bool serverRepeat) noexcept {
    if (keycode >= keys_.size()) return std::nullopt;
    const Key key = keys_[keycode];
    const bool wasDown = down_[keycode];
    down_[keycode] = press;
    if (key.role != Role::none) {
        if (press == wasDown) return std::nullopt;  // a repeated modifier, or a release we never saw pressed
        auto& count = held_[static_cast<std::size_t>(key.role)];
        if (press) ++count;
        else if (count > 0) --count;
        return KeyEvent{KeyEventType::flagsChanged, key.code, flags(), false};
    }
    if (key.code == kNoKey) return std::nullopt;
    if (!press) return KeyEvent{KeyEventType::keyUp, key.code, flags(), false};
    return KeyEvent{KeyEventType::keyDown, key.code, flags(), serverRepeat || wasDown};
}

std::uint16_t XKeyTranslator::virtualKeyCode(unsigned keycode) const {
    return keycode < keys_.size() ? keys_[keycode].code : kNoKey;
}

std::vector<unsigned> XKeyTranslator::keycodesFor(std::uint16_t virtualKeyCode) const {
    std::vector<unsigned> keycodes;
    for (unsigned keycode = 0; keycode < keys_.size(); ++keycode)
        if (keys_[keycode].code == virtualKeyCode) keycodes.push_back(keycode);
    return keycodes;
}

}  // namespace quonvera
