#pragma once

#include "models/KeyEvent.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quonvera {

// The server's keyboard mapping as XGetKeyboardMapping returns it: `keysymsPerKeycode` keysyms
// for each key code from `minKeycode` on.
struct XKeyboardMapping {
    unsigned minKeycode = 8;
    int keysymsPerKeycode = 0;
    std::vector<unsigned long> keysyms;

    // The keysym of `keycode` at `index`, 0 (NoSymbol) outside the mapping.
    unsigned long keysymAt(unsigned keycode, int index) const;
};

// Turns X key presses and releases into the platform-neutral event model. A key is known by the
// keysym it produces without modifiers in the current layout (so V is the key labelled V, on
// Dvorak too); keys whose keysym has no counterpart, such as the digits of a French layout, fall
// back to the key at the same place on a US keyboard. Modifier keys become flags-changed events
// and set the flags this translator tracks itself; the fn stand-in key becomes fn and no longer
// counts as its ordinary modifier.
class XKeyTranslator {
public:
    static constexpr std::uint16_t kNoKey = 0xFFFF;

    // `fnStandInKeysym` 0 means no key stands in for fn.
    void setMapping(const XKeyboardMapping& mapping, unsigned long fnStandInKeysym);

    // The event for one press or release of X key code `keycode`, or none for keys without a
    // counterpart and for repeated presses of modifier keys. `serverRepeat` is the server's
    // own auto-repeat mark; a press of a key already down is a repeat too.
    std::optional<KeyEvent> translate(unsigned keycode, bool press, bool serverRepeat) noexcept;

    std::uint16_t virtualKeyCode(unsigned keycode) const;
    // Every X key code that translates to `virtualKeyCode`.
    std::vector<unsigned> keycodesFor(std::uint16_t virtualKeyCode) const;
    std::uint64_t flags() const noexcept;

private:
    enum class Role : std::uint8_t { none, shift, control, option, command, fn, count };
    struct Key {
        std::uint16_t code = kNoKey;
        Role role = Role::none;
    };

    void recountHeldModifiers() noexcept;

    std::array<Key, 256> keys_{};
    std::array<bool, 256> down_{};
    std::array<std::uint8_t, static_cast<std::size_t>(Role::count)> held_{};
};

}  // namespace quonvera
