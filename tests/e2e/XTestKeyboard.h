#pragma once

#include <string>

struct _XDisplay;

namespace quonvera::test {

// Presses and releases one key as the X server sees it from a keyboard, through XTEST. A key
// still held is released when this goes away.
class XTestKeyboard {
public:
    // `keysymName` as XStringToKeysym knows it ("Control_R"). Throws std::runtime_error without
    // an X display or the XTEST extension.
    explicit XTestKeyboard(const std::string& keysymName);
    ~XTestKeyboard();
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    void press() { send(true); }
    void release() { send(false); }

private:
    void send(bool down);

    _XDisplay* display_;
    unsigned int keycode_ = 0;
    bool held_ = false;
};

}  // namespace quonvera::test
