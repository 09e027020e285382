#include "platform/fake/FakeAudioCaptureSource.h"

namespace quonvera {

class FakeAudioCaptureSource::Stream final : public AudioCaptureStream {
public:
    explicit Stream(std::shared_ptr<State> state) : state_(std::move(state)) {}
    ~Stream() override { state_->handler = nullptr; }

private:
    std::shared_ptr<State> state_;
};

Result<std::unique_ptr<AudioCaptureStream>, AudioCaptureFailure> FakeAudioCaptureSource::start(
    const std::optional<std::string>& deviceUID, BufferHandler onBuffer) {
    startedDevices_.push_back(deviceUID);
    if (nextFailure_) {
        AudioCaptureFailure failure = std::move(*nextFailure_);
        nextFailure_.reset();
        return failure;
    }
    state_->handler = std::move(onBuffer);
    return std::unique_ptr<AudioCaptureStream>(std::make_unique<Stream>(state_));
}

bool FakeAudioCaptureSource::deliver(const std::vector<float>& samples) {
    if (!state_->handler) return false;
    state_->handler(samples);
    return true;
}

}  // namespace quonvera
