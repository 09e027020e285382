#pragma once

#include "models/Errors.h"
#include "models/WhisperModel.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quonvera {

// What the transcription router reports. Delivered on the main queue.
class TranscriptionEngineDelegate {
public:
    virtual ~TranscriptionEngineDelegate() = default;
    virtual void transcriptionEngineDidStartTranscription() = 0;
    virtual void transcriptionEngineDidComplete(const std::string& text) = 0;
    virtual void transcriptionEngineDidFail(const TranscriptionError& error) = 0;
    virtual void transcriptionEngineDidStartModelDownload() = 0;
    virtual void transcriptionEngineDidFinishModelDownload() = 0;
    virtual void transcriptionEngineDidReceivePartialText(const std::string& text, const std::string& delta) = 0;
    virtual void transcriptionEngineDidReviseText(const std::string& oldText, const std::string& newText) = 0;
};

// Turns recordings into text, locally or through the cloud service.
class TranscriptionEngineInterface {
public:
    virtual ~TranscriptionEngineInterface() = default;
    virtual void transcribe(const std::filesystem::path& audioFile) = 0;
    virtual void startBackgroundDownload() = 0;
    virtual void reloadModelIfNeeded() = 0;
    virtual void cancelTranscription() = 0;
    virtual void startStreamingSession() = 0;
    virtual void endStreamingSession() = 0;
    virtual void processStreamingSamples(const std::vector<float>& samples, double sampleRate) = 0;
    virtual bool isModelReady() const = 0;
    virtual bool isUsingCloud() const = 0;
    virtual std::optional<WhisperModel> currentModel() const = 0;
    virtual void setDelegate(std::weak_ptr<TranscriptionEngineDelegate> delegate) = 0;
};

}  // namespace quonvera
