#pragma once

#include "core/Result.h"
#include "core/Subscription.h"
#include "models/AudioDevice.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quonvera {

// The sound server's input devices. Failures carry the server's status code.
class AudioDeviceCatalog {
public:
    virtual ~AudioDeviceCatalog() = default;

    // The devices that can record, in the server's order. Monitors of outputs are not inputs.
    virtual Result<std::vector<AudioDevice>, int> inputDevices() = 0;
    // The UID of the server's default input; none when it cannot be read.
    virtual std::optional<std::string> defaultInputDeviceUID() = 0;
    // Calls `onChange` on a thread of the catalog's choosing whenever an input device is added
    // or removed, until the subscription ends.
    virtual Result<Subscription, int> watchDeviceChanges(std::function<void()> onChange) = 0;
};

}  // namespace quonvera
