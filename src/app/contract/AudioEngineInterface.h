#pragma once

#include "models/Errors.h"

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quonvera {

// Six level values, each 0...1, computed from one captured buffer.
using AudioLevels = std::array<double, 6>;

// What the recorder reports. Delivered on the main queue, except `audioEngineDidFail` for a
// refused microphone permission, which may arrive on the thread of the permission answer.
class AudioEngineDelegate {
public:
    virtual ~AudioEngineDelegate() = default;
    virtual void audioEngineDidStartRecording() = 0;
    virtual void audioEngineDidFinishRecording(const std::filesystem::path& file) = 0;
    virtual void audioEngineDidDiscardShortRecording() = 0;
    virtual void audioEngineDidFail(const AudioEngineError& error) = 0;
    virtual void audioEngineDidUpdateLevels(const AudioLevels& levels) = 0;
    // A copy of the rolling window of 16000 Hz samples, while streaming is enabled.
    virtual void audioEngineDidAccumulateSamples(const std::vector<float>& samples) = 0;
};

// Records the microphone into a temporary 16000 Hz mono WAVE file.
class AudioEngineInterface {
public:
    virtual ~AudioEngineInterface() = default;
    virtual void startRecording() = 0;
    virtual void stopRecording() = 0;
    // Stops without finishing; keeps the file and hands its path (none when not recording) to
    // `completion` on the main queue.
    virtual void cancelRecording(std::function<void(std::optional<std::filesystem::path>)> completion) = 0;
    // None selects the system default input.
    virtual void setInputDevice(std::optional<std::string> deviceUID) = 0;
    virtual void enableStreaming() = 0;
    virtual void disableStreaming() = 0;
    virtual bool isRecording() const = 0;
    virtual bool isStreamingEnabled() const = 0;
    virtual void setDelegate(std::weak_ptr<AudioEngineDelegate> delegate) = 0;
};

}  // namespace quonvera
