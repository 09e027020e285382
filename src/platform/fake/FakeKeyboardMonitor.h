#pragma once

#include "platform/KeyboardMonitor.h"

#include <atomic>

namespace quonvera {

// A keyboard that tests type on: events are delivered on the calling thread, and the grab rules
// of a real session decide which swallowed key-downs the focused application misses.
class FakeKeyboardMonitor final : public KeyboardMonitor {
public:
    bool start(Handler handler) override;
    void stop() override;
    void setEscapeGrabbed(bool grabbed) override;

    // Hands `event` to the handler as the session would; true when the focused application
    // receives the event.
    bool deliver(const KeyEvent& event);

    bool isRunning() const { return static_cast<bool>(handler_); }
    bool isEscapeGrabbed() const { return escapeGrabbed_; }
    int startCount() const { return startCount_; }

    bool startSucceeds = true;

private:
    Handler handler_;
    std::atomic<bool> escapeGrabbed_{false};
    int startCount_ = 0;
};

}  // namespace quonvera
