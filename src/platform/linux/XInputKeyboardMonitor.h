#pragma once

#include "platform/KeyboardMonitor.h"

#include <memory>
#include <optional>
#include <string>

namespace quonvera {

// The keyboard of an X11 session: XInput 2 raw key events on the root window, on a connection
// and thread of the monitor's own, translated by XKeyTranslator. Holding keys back uses
// synchronous passive grabs on the root window (Super+Control+V always, Esc while asked), one
// per state of the lock modifiers; each grab that fires is released at once, passing the key on
// to the focused window unless the handler swallowed it. Key codes and grabs follow keyboard
// layout changes.
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
