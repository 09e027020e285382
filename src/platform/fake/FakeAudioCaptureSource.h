#pragma once

#include "platform/AudioCaptureSource.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quonvera {

// A microphone for unit tests: the test delivers buffers itself, on its own thread, as the
// capture thread would.
class FakeAudioCaptureSource final : public AudioCaptureSource {
public:
    Result<std::unique_ptr<AudioCaptureStream>, AudioCaptureFailure> start(
        const std::optional<std::string>& deviceUID, BufferHandler onBuffer) override;

    // The next start fails with this.
    void failNextStart(AudioCaptureFailure failure) { nextFailure_ = std::move(failure); }
    // Hands one buffer to the running capture; false when none is running.
    bool deliver(const std::vector<float>& samples);
    bool isCapturing() const { return state_->handler != nullptr; }
    // The device of every start, in order (none for the default input).
    const std::vector<std::optional<std::string>>& startedDevices() const { return startedDevices_; }

private:
    struct State {
        BufferHandler handler;
    };
    class Stream;

    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::optional<AudioCaptureFailure> nextFailure_;
    std::vector<std::optional<std::string>> startedDevices_;
};

}  // namespace quonvera
