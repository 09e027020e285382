#pragma once

#include "core/MainQueue.h"
#include "core/Published.h"
#include "core/Subscription.h"
#include "models/AudioDevice.h"
#include "platform/AudioDeviceCatalog.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quonvera {

// The input devices and the default input, refreshed whenever a device is added or removed.
// One instance lives for the whole run. Main thread only.
class AudioDeviceManager {
public:
    // Reads the devices at once and starts listening for changes.
    AudioDeviceManager(MainQueue& mainQueue, AudioDeviceCatalog& catalog);
    ~AudioDeviceManager();
    AudioDeviceManager(const AudioDeviceManager&) = delete;
    AudioDeviceManager& operator=(const AudioDeviceManager&) = delete;

    // Re-reads the device list and the default input and publishes both.
    void refreshDevices();
    // The first listed device with this UID; searches the current list only.
    std::optional<AudioDevice> deviceForUID(const std::string& uid) const;

    Published<std::vector<AudioDevice>>& inputDevices() { return inputDevices_; }
    Published<std::optional<std::string>>& defaultInputDeviceUID() { return defaultInputDeviceUID_; }

private:
    void startListening();

    MainQueue& mainQueue_;
    AudioDeviceCatalog& catalog_;
    Published<std::vector<AudioDevice>> inputDevices_;
    Published<std::optional<std::string>> defaultInputDeviceUID_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);  // lets queued refreshes see it is gone
    std::optional<Subscription> deviceListener_;
};

}  // namespace quonvera
