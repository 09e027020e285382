#pragma once

#include "platform/KeystrokeSender.h"

#include <initializer_list>

struct _XDisplay;

namespace quonvera {

// Key presses sent through the XTEST extension. The keys are looked up by symbol in the keyboard
// layout that is active at the moment of sending, so Control+V pastes on QWERTY, AZERTY, QWERTZ
// and Dvorak alike. Holds its own connection to the X display.
class XTestKeystrokeSender : public KeystrokeSender {
public:
    XTestKeystrokeSender();
    ~XTestKeystrokeSender() override;
    XTestKeystrokeSender(const XTestKeystrokeSender&) = delete;
    XTestKeystrokeSender& operator=(const XTestKeystrokeSender&) = delete;

    bool sendPaste(PasteKeys keys) override;
    bool sendBackspace() override;

private:
    // Presses the keys in order and releases them in reverse order; false when a key symbol has no
    // key in the active layout or the display cannot be used.
    bool pressChord(std::initializer_list<unsigned long> keySymbols);

    _XDisplay* display_ = nullptr;
};

}  // namespace quonvera
