#pragma once

#include "app/contract/TranscriptionEngineInterface.h"
#include "core/BackgroundTasks.h"
#include "core/MainQueue.h"
#include "platform/OnDeviceRecognizer.h"
#include "services/CloudTranscriptionServiceInterface.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quonvera {

class Settings;

// Turns recordings into text: on the device once the selected local model is loaded, through the
// cloud service until then. Loads (and on first use downloads) the model in the background and
// re-transcribes the growing sample window of a streaming dictation into partial text.
// Main thread only; the recognizer and the cloud client run on background tasks.
class TranscriptionEngine final : public TranscriptionEngineInterface {
public:
    TranscriptionEngine(Settings& settings, MainQueue& mainQueue, BackgroundTasks& tasks,
                        std::shared_ptr<CloudTranscriptionServiceInterface> cloudService,
                        std::shared_ptr<OnDeviceRecognizerFactory> recognizerFactory);
    ~TranscriptionEngine() override;
    TranscriptionEngine(const TranscriptionEngine&) = delete;
    TranscriptionEngine& operator=(const TranscriptionEngine&) = delete;

    void transcribe(const std::filesystem::path& audioFile) override;
    void startBackgroundDownload() override;
    void reloadModelIfNeeded() override;
    void cancelTranscription() override;
    void startStreamingSession() override;
    void endStreamingSession() override;
    void processStreamingSamples(const std::vector<float>& samples, double sampleRate) override;
    bool isModelReady() const override { return isModelReady_; }
    bool isUsingCloud() const override { return isUsingCloud_; }
    std::optional<WhisperModel> currentModel() const override { return currentModel_; }
    void setDelegate(std::weak_ptr<TranscriptionEngineDelegate> delegate) override { delegate_ = std::move(delegate); }

    bool isInitializing() const { return isInitializing_; }
    bool isStreamingActive() const { return isStreamingActive_; }
    bool isStreamingTranscriptionInProgress() const { return isStreamingTranscriptionInProgress_; }
    const std::string& lastStreamedText() const { return lastStreamedText_; }

private:
    // One asynchronous task of the engine: a file transcription, a streaming pass or a model
    // initialisation, made of one or more background steps that resume on the main queue.
    struct Task {
        bool cancelled = false;
        TaskHandle step;                 // the running background step
        std::function<void()> onCancel;  // undoes the state a running step has set
    };
    using TaskPtr = std::shared_ptr<Task>;

    void cancel(const TaskPtr& task);
    void performTranscription(const std::filesystem::path& audioFile, const TaskPtr& task);
    void initializeModel(WhisperModel model, const TaskPtr& task, std::function<void()> then);
    void transcribeLocally(const std::filesystem::path& audioFile, const TaskPtr& task);
    void transcribeWithLoadedModel(const std::filesystem::path& audioFile, const TaskPtr& task);
    void transcribeWithCloud(const std::filesystem::path& audioFile, const TaskPtr& task);
    void runStreamingPass(std::shared_ptr<const std::vector<float>> samples,
                          std::shared_ptr<OnDeviceRecognizer> recognizer, const TaskPtr& task);
    void handleStreamingText(const std::string& newText);
    void deliverFileText(const std::filesystem::path& audioFile, const std::string& text);
    void notify(const std::function<void(TranscriptionEngineDelegate&)>& notification);
    double secondsSince(TimePoint start) const;
    // Runs `block` on the main queue later unless the engine is gone by then.
    void postSelf(std::function<void()> block);

    std::weak_ptr<TranscriptionEngineDelegate> delegate_;
    std::shared_ptr<OnDeviceRecognizer> recognizer_;
    std::optional<WhisperModel> currentModel_;
    Settings& settings_;
    TaskPtr transcriptionTask_;
    TaskPtr initializationTask_;
    bool isModelReady_ = false;
    bool isInitializing_ = false;
    bool isUsingCloud_ = false;
    std::shared_ptr<CloudTranscriptionServiceInterface> cloudService_;
    bool isStreamingActive_ = false;
    std::string lastStreamedText_;
    bool isStreamingTranscriptionInProgress_ = false;

    MainQueue& mainQueue_;
    BackgroundTasks& tasks_;
    std::shared_ptr<OnDeviceRecognizerFactory> recognizerFactory_;
    bool destroying_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // closures hold the engine through this
};

}  // namespace quonvera
