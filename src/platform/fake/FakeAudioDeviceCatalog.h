#pragma once

#include "platform/AudioDeviceCatalog.h"

#include <memory>
#include <optional>

namespace quonvera {

// The sound server's device list for unit tests.
class FakeAudioDeviceCatalog final : public AudioDeviceCatalog {
public:
    Result<std::vector<AudioDevice>, int> inputDevices() override;
    std::optional<std::string> defaultInputDeviceUID() override { return defaultUID; }
    Result<Subscription, int> watchDeviceChanges(std::function<void()> onChange) override;

    // Tells the watcher that the device list changed, as the server would (from any thread).
    void announceChange();
    bool isWatched() const { return static_cast<bool>(*watcher_); }

    std::vector<AudioDevice> devices;
    std::optional<std::string> defaultUID;
    std::optional<int> listFailure;   // the status inputDevices fails with
    std::optional<int> watchFailure;  // the status watchDeviceChanges fails with

private:
    std::shared_ptr<std::function<void()>> watcher_ = std::make_shared<std::function<void()>>();
};

}  // namespace quonvera
