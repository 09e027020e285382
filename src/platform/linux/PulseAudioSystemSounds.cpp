#include "platform/linux/PulseAudioSystemSounds.h"

#include "core/Log.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <vector>

namespace quonvera {
namespace {

constexpr int kSampleRate = 44100;

// A short decaying tone: a bright tick for the press, a softer lower one for the release.
std::vector<float> synthesize(SystemSound sound) {
    const bool tink = sound == SystemSound::tink;
    const double seconds = tink ? 0.07 : 0.06;
    const double startFrequency = tink ? 2200.0 : 520.0;
    const double endFrequency = tink ? 2000.0 : 260.0;
    const double decay = tink ? 60.0 : 45.0;
    const auto count = static_cast<std::size_t>(seconds * kSampleRate);
    std::vector<float> samples(count);
    double phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double frequency = startFrequency + (endFrequency - startFrequency) * (t / seconds);
        phase += 2 * std::numbers::pi * frequency / kSampleRate;
        const double attack = std::min(1.0, t / 0.002);
        samples[i] = static_cast<float>(0.35 * attack * std::exp(-decay * t) * std::sin(phase));
    }
    return samples;
}

}  // namespace

PulseAudioSystemSounds::PulseAudioSystemSounds() : worker_([this] { run(); }) {}

PulseAudioSystemSounds::~PulseAudioSystemSounds() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void PulseAudioSystemSounds::play(SystemSound sound) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(sound);
    }
    wake_.notify_all();
}

void PulseAudioSystemSounds::run() {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kSampleRate, 1};
    for (;;) {
        SystemSound sound;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            sound = queue_.front();
            queue_.pop_front();
        }
        const auto samples = synthesize(sound);
        int error = 0;
        // The server's default buffer is about two seconds; a short one starts the sound at once.
        const auto bytes = static_cast<std::uint32_t>(samples.size() * sizeof(float));
        const pa_buffer_attr buffer{static_cast<std::uint32_t>(-1), bytes, static_cast<std::uint32_t>(-1),
                                    static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1)};
        pa_simple* stream = pa_simple_new(nullptr, "Quonvera", PA_STREAM_PLAYBACK, nullptr,
                                          sound == SystemSound::tink ? "Tink" : "Pop", &spec, nullptr, &buffer, &error);
        if (stream == nullptr) {
            if (!reportedFailure_) logLine(std::string("SystemSounds: Cannot play event sounds: ") + pa_strerror(error));
            reportedFailure_ = true;
            continue;
        }
        pa_simple_write(stream, samples.data(), samples.size() * sizeof(float), &error);
        pa_simple_drain(stream, &error);
        pa_simple_free(stream);
    }
}

}  // namespace quonvera
