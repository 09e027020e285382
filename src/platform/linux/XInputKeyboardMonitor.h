#pragma once

#include "platform/KeyboardMonitor.h"

#include <memory>
#include <optional>
#include <string>

namespace quonvera {

// The keyboard of an X11 session: XInput 2 raw key events on the root window, on a connection
// and thread of the monitor's own, translated by XKeyTranslator. Holding keys back uses
// synchronous XInput 2 passive grabs on the root window for each master keyboard
// (Super+Control+V always, Esc while asked), one per state of the lock modifiers. A grab that
// fires freezes the keyboard only until the monitor has read the key: it then either keeps the
// key (the handler swallowed it) or replays it to the focused window. Key codes and grabs
// follow keyboard layout changes (read again 100 ms after the last mapping notification).
class XInputKeyboardMonitor final : public KeyboardMonitor {
public:
    // `displayName` empty: $DISPLAY. `fnKeyName`: the keysym name of the key that stands in for
    // fn ("none" for no key); absent: $QUONVERA_FN_KEY, else Right Ctrl.
    explicit XInputKeyboardMonitor(std::string displayName = {}, std::optional<std::string> fnKeyName = std::nullopt);
    ~XInputKeyboardMonitor() override;
    XInputKeyboardMonitor(const XInputKeyboardMonitor&) = delete;
    XInputKeyboardMonitor& operator=(const XInputKeyboardMonitor&) = delete;

    bool start(Handler handler) override;
    void stop() override;
    void setEscapeGrabbed(bool grabbed) override;

private:
    class Session;

    std::string displayName_;
    std::string fnKeyName_;
    std::unique_ptr<Session> session_;
};

}  // namespace quonvera
