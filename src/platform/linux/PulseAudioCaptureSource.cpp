#include "platform/linux/PulseAudioCaptureSource.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <pulse/pulseaudio.h>
#include <vector>

namespace quonvera {

namespace {

const Duration connectTimeout = seconds(2);
const Duration streamTimeout = seconds(5);

// Collects what the server hands over into buffers of exactly `fragmentFrames`: the server
// passes on whatever its source produced, which can be a few frames at a time.
struct StreamState {
    AudioCaptureSource::BufferHandler handler;
    std::vector<float> buffer = std::vector<float>(PulseAudioCaptureSource::fragmentFrames);
    std::size_t filled = 0;

    void append(const unsigned char* bytes, std::size_t count) {
        while (count > 0) {
            const std::size_t take = std::min(count, buffer.size() - filled);
            std::memcpy(buffer.data() + filled, bytes, take * sizeof(float));
            filled += take;
            bytes += take * sizeof(float);
            count -= take;
            if (filled == buffer.size()) flush();
        }
    }
    void flush() {
        if (filled > 0) handler(std::span<const float>(buffer.data(), filled));
        filled = 0;
    }
};

void onStreamState(pa_stream*, void* mainloop) { PulseConnection::signal(static_cast<pa_threaded_mainloop*>(mainloop)); }

// Event thread, with the lock held.
void onReadable(pa_stream* stream, std::size_t, void* userdata) {
    auto* state = static_cast<StreamState*>(userdata);
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) return;
        // No data with a size is a hole in the stream: nothing to hand over.
        if (data != nullptr) state->append(static_cast<const unsigned char*>(data), bytes / sizeof(float));
        pa_stream_drop(stream);
    }
}

class PulseCaptureStream final : public AudioCaptureStream {
public:
    PulseCaptureStream(std::shared_ptr<PulseConnection> connection, pa_stream* stream,
                       std::unique_ptr<StreamState> state)
        : connection_(std::move(connection)), stream_(stream), state_(std::move(state)) {}

    ~PulseCaptureStream() override {
        PulseConnection::Lock lock(*connection_);
        state_->flush();  // the last, partial buffer
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }

private:
    std::shared_ptr<PulseConnection> connection_;
    pa_stream* stream_;
    std::unique_ptr<StreamState> state_;
};

}  // namespace

Result<std::unique_ptr<AudioCaptureStream>, AudioCaptureFailure> PulseAudioCaptureSource::start(
    const std::optional<std::string>& deviceUID, BufferHandler onBuffer) {
    bool ready = false;
    if (connection_) {
        PulseConnection::Lock lock(*connection_);
        ready = connection_->isReady();
    }
    if (!ready) {
        connection_.reset();
        auto connected = PulseConnection::connect(connectTimeout);
        if (!connected)
            return AudioCaptureFailure{AudioCaptureFailure::Kind::serverUnavailable, connected.error().status,
                                       connected.error().message};
        connection_ = std::move(connected.value());
    }

    PulseConnection::Lock lock(*connection_);
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, 16000, 1};
    pa_stream* stream = pa_stream_new(connection_->context(), "Dictation", &format, nullptr);
    if (stream == nullptr) {
        const PulseError error = connection_->lastError("Cannot record from the sound server");
        return AudioCaptureFailure{AudioCaptureFailure::Kind::streamFailed, error.status, error.message};
    }
    auto state = std::make_unique<StreamState>();
    state->handler = std::move(onBuffer);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = fragmentFrames * sizeof(float);
    pa_stream_set_state_callback(stream, onStreamState, connection_->mainloop());
    pa_stream_set_read_callback(stream, onReadable, state.get());

    const char* device = deviceUID ? deviceUID->c_str() : nullptr;
    const bool requested = pa_stream_connect_record(stream, device, &attributes, PA_STREAM_ADJUST_LATENCY) == 0;
    const bool settled = requested && connection_->waitUntil(
                                          [stream] {
                                              const pa_stream_state_t s = pa_stream_get_state(stream);
                                              return s == PA_STREAM_READY || !PA_STREAM_IS_GOOD(s);
                                          },
                                          streamTimeout);
    if (settled && pa_stream_get_state(stream) == PA_STREAM_READY)
        return std::unique_ptr<AudioCaptureStream>(
            std::make_unique<PulseCaptureStream>(connection_, stream, std::move(state)));

    PulseError error = settled || !requested ? connection_->lastError("Cannot record from the sound server")
                                             : PulseError{PA_ERR_TIMEOUT, "Cannot record from the sound server: Timeout"};
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    const auto kind = error.status == PA_ERR_NOENTITY && deviceUID ? AudioCaptureFailure::Kind::deviceUnavailable
                                                                   : AudioCaptureFailure::Kind::streamFailed;
    if (kind == AudioCaptureFailure::Kind::deviceUnavailable)
        error.message = "Cannot record from " + *deviceUID + ": " + pa_strerror(error.status);
    return AudioCaptureFailure{kind, error.status, error.message};
}

}  // namespace quonvera
