#pragma once

#include "platform/AudioCaptureSource.h"
#include "platform/linux/PulseConnection.h"

#include <memory>

namespace quonvera {

// Captures through PulseAudio: the server converts the device's audio to 32-bit float,
// 16000 Hz, mono, in fragments of about 1365 frames (85 ms, the cadence of a 4096-frame buffer
// at 48 kHz; left to itself the server would pick about 2 s), and they are handed over in
// buffers of exactly 1365 frames, whatever pieces the server's source delivers them in. The connection
// to the server is kept between recordings and made again when it was lost.
class PulseAudioCaptureSource final : public AudioCaptureSource {
public:
    static constexpr unsigned fragmentFrames = 1365;

    Result<std::unique_ptr<AudioCaptureStream>, AudioCaptureFailure> start(
        const std::optional<std::string>& deviceUID, BufferHandler onBuffer) override;

private:
    std::shared_ptr<PulseConnection> connection_;
};

}  // namespace quonvera
