#include "platform/fake/FakeKeyboardMonitor.h"

#include <utility>

namespace quonvera {

bool FakeKeyboardMonitor::start(Handler handler) {
    ++startCount_;
    if (!startSucceeds) return false;
    handler_ = std::move(handler);
    return true;
}

void FakeKeyboardMonitor::stop() {
    handler_ = nullptr;
    escapeGrabbed_ = false;
}

void FakeKeyboardMonitor::setEscapeGrabbed(bool grabbed) { escapeGrabbed_ = grabbed; }

bool FakeKeyboardMonitor::deliver(const KeyEvent& event) {
    if (!handler_) return true;
    // Whether a grab covers this key-down is settled before the handler runs, as in the session.
    const bool keyDown = event.type == KeyEventType::keyDown;
    const bool grabbed =
        keyDown && ((event.keyCode == VirtualKey::escape && escapeGrabbed_) ||
                    (event.keyCode == VirtualKey::v && (event.flags & KeyFlag::command) && (event.flags & KeyFlag::control)));
    const KeyDisposition disposition = handler_(event);
    return !(grabbed && disposition == KeyDisposition::swallow);
}

}  // namespace quonvera
