#pragma once

#include <functional>

namespace quonvera {

// The two permissions the application needs: the microphone and keyboard access.
class PermissionManagerInterface {
public:
    virtual ~PermissionManagerInterface() = default;
    // With `prompt`, tells the user what is missing (at most a notification; never blocks).
    virtual bool isAccessibilityTrusted(bool prompt) = 0;
    virtual bool microphoneAuthorized() = 0;
    // `completion` may run on any thread.
    virtual void requestMicrophoneAccess(std::function<void(bool granted)> completion) = 0;
};

}  // namespace quonvera
