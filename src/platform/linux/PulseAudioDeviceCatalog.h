#pragma once

#include "platform/AudioDeviceCatalog.h"
#include "platform/linux/PulseConnection.h"

#include <memory>

namespace quonvera {

// The PulseAudio server's sources: the source name is the UID, its description the name and
// its index the id. Monitors of outputs are left out. Changes are watched through a server
// subscription to source events; one watcher at a time.
class PulseAudioDeviceCatalog final : public AudioDeviceCatalog {
public:
    Result<std::vector<AudioDevice>, int> inputDevices() override;
    std::optional<std::string> defaultInputDeviceUID() override;
    Result<Subscription, int> watchDeviceChanges(std::function<void()> onChange) override;

private:
    // The connection, made again when it was lost; none (with the status) when no server answers.
    Result<std::shared_ptr<PulseConnection>, int> connection();

    std::shared_ptr<PulseConnection> connection_;
};

}  // namespace quonvera
