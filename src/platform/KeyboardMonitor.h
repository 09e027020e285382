#pragma once

#include "models/KeyEvent.h"

#include <functional>

namespace quonvera {

enum class KeyDisposition { pass, swallow };

// The session-wide keyboard: every key press, release and modifier change of whichever
// application is in front, in the event model of KeyEvent.h.
//
// A monitor can hold back only the key-downs it was told about in advance: Esc while
// `setEscapeGrabbed(true)` is in force, and V with Command and Control held. For those the
// handler's answer decides whether the focused application receives the key; every other event
// reaches it whatever the handler answers.
class KeyboardMonitor {
public:
    using Handler = std::function<KeyDisposition(const KeyEvent&)>;

    virtual ~KeyboardMonitor() = default;

    // Starts delivering events to `handler`, one at a time and in order, on a thread of the
    // monitor's choosing (not necessarily the main thread). False when the keyboard cannot be
    // watched; the reason is logged.
    virtual bool start(Handler handler) = 0;
    // After it returns the handler is not called again. Safe when not started.
    virtual void stop() = 0;
    // Whether Esc key-downs may be held back. Callable from any thread, including the handler.
    virtual void setEscapeGrabbed(bool grabbed) = 0;
};

}  // namespace quonvera
