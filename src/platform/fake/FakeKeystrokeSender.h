#pragma once

#include "platform/KeystrokeSender.h"

#include <string>
#include <vector>

namespace quonvera {

// Records the key presses instead of sending them: "ctrl+v", "ctrl+shift+v", "backspace".
class FakeKeystrokeSender : public KeystrokeSender {
public:
    bool sendPaste(PasteKeys keys) override {
        if (!canCreateEvents) {
            return false;
        }
        sent.push_back(keys == PasteKeys::controlShiftV ? "ctrl+shift+v" : "ctrl+v");
        return true;
    }
    bool sendBackspace() override {
        if (!canCreateEvents) {
            return false;
        }
        sent.push_back("backspace");
        return true;
    }

    bool canCreateEvents = true;
    std::vector<std::string> sent;
};

}  // namespace quonvera
