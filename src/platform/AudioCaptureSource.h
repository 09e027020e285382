#pragma once

#include "core/Result.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace quonvera {

// A running capture. Destroying it stops the capture, first handing over what was collected of
// an unfinished buffer (on the destroying thread); once the destructor returns, the buffer
// handler is not running and will not be called again.
class AudioCaptureStream {
public:
    virtual ~AudioCaptureStream() = default;
};

// Why a capture could not start.
struct AudioCaptureFailure {
    enum class Kind {
        serverUnavailable,  // no sound server answers
        deviceUnavailable,  // the named input does not exist (any more)
        streamFailed,       // the server refused the capture stream
    };
    Kind kind;
    int status = 0;       // the sound server's error code
    std::string message;  // readable, names what failed
};

// Captures the microphone as 32-bit float samples, 16000 Hz, one channel, in buffers of about
// 85 ms. The sound server converts from whatever the device delivers.
class AudioCaptureSource {
public:
    // Called on the capture thread, once per buffer, in capture order. The samples are valid
    // only during the call.
    using BufferHandler = std::function<void(std::span<const float> samples)>;

    virtual ~AudioCaptureSource() = default;

    // Starts capturing from the input named `deviceUID` (none: the server's default input).
    // Returns once the stream runs, or fails.
    virtual Result<std::unique_ptr<AudioCaptureStream>, AudioCaptureFailure> start(
        const std::optional<std::string>& deviceUID, BufferHandler onBuffer) = 0;
};

}  // namespace quonvera
