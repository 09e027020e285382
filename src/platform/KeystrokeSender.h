#pragma once

namespace quonvera {

// The paste shortcut: Control+V in most applications, Control+Shift+V in terminal emulators.
enum class PasteKeys { controlV, controlShiftV };

// Synthetic key presses delivered to the focused application, with the keys found in the
// active keyboard layout. Main thread only.
class KeystrokeSender {
public:
    virtual ~KeystrokeSender() = default;
    // Presses and releases the paste shortcut; false when the key events cannot be made.
    virtual bool sendPaste(PasteKeys keys) = 0;
    // One press and release of Backspace; false when the key events cannot be made.
    virtual bool sendBackspace() = 0;
};

}  // namespace quonvera
