#include "services/TranscriptionEngine.h"

#include "core/Log.h"
#include "models/Settings.h"
#include "services/RecognitionText.h"
#include "services/WhisperModelCatalog.h"

#include <cstdio>

namespace quonvera {
namespace {

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const char* flag(bool value) { return value ? "true" : "false"; }

using CreateResult = Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError>;
using CloudResult = Result<std::string, CloudTranscriptionError>;

}  // namespace

TranscriptionEngine::TranscriptionEngine(Settings& settings, MainQueue& mainQueue, BackgroundTasks& tasks,
                                         std::shared_ptr<CloudTranscriptionServiceInterface> cloudService,
                                         std::shared_ptr<OnDeviceRecognizerFactory> recognizerFactory)
    : settings_(settings),
      cloudService_(std::move(cloudService)),
      mainQueue_(mainQueue),
      tasks_(tasks),
      recognizerFactory_(std::move(recognizerFactory)) {}

TranscriptionEngine::~TranscriptionEngine() {
    destroying_ = true;
    cancelTranscription();
    cancel(initializationTask_);
}

void TranscriptionEngine::notify(const std::function<void(TranscriptionEngineDelegate&)>& notification) {
    if (destroying_) return;
    if (auto delegate = delegate_.lock()) notification(*delegate);
}

double TranscriptionEngine::secondsSince(TimePoint start) const {
    return std::chrono::duration<double>(mainQueue_.now() - start).count();
}

void TranscriptionEngine::postSelf(std::function<void()> block) {
    std::weak_ptr<bool> alive = alive_;
    mainQueue_.post([alive, block = std::move(block)] {
        if (!alive.expired()) block();
    });
}

void TranscriptionEngine::cancel(const TaskPtr& task) {
    if (!task || task->cancelled) return;
    task->cancelled = true;
    task->step.cancel();
    if (auto undo = std::exchange(task->onCancel, {})) undo();
}

// MARK: - File transcription

void TranscriptionEngine::transcribe(const std::filesystem::path& audioFile) {
    notify([](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidStartTranscription(); });
    cancel(transcriptionTask_);  // a newer recording supersedes an older one
    auto task = std::make_shared<Task>();
    transcriptionTask_ = task;
    postSelf([this, audioFile, task] {
        if (!task->cancelled) performTranscription(audioFile, task);
    });
}

void TranscriptionEngine::performTranscription(const std::filesystem::path& audioFile, const TaskPtr& task) {
    if (isModelReady_) {
        isUsingCloud_ = false;
        transcribeLocally(audioFile, task);
    } else if (isInitializing_) {
        logLine("TranscriptionEngine: Model initializing, using cloud fallback");
        isUsingCloud_ = true;
        transcribeWithCloud(audioFile, task);
    } else {
        logLine("TranscriptionEngine: Model not ready, using cloud fallback");
        isUsingCloud_ = true;
        startBackgroundDownload();
        transcribeWithCloud(audioFile, task);
    }
}

void TranscriptionEngine::transcribeLocally(const std::filesystem::path& audioFile, const TaskPtr& task) {
    const WhisperModel selected = settings_.whisperModel.get();
    if (!currentModel_ || *currentModel_ != selected) {
        initializeModel(selected, task, [this, audioFile, task] { transcribeWithLoadedModel(audioFile, task); });
        return;
    }
    transcribeWithLoadedModel(audioFile, task);
}

void TranscriptionEngine::transcribeWithLoadedModel(const std::filesystem::path& audioFile, const TaskPtr& task) {
    if (!recognizer_ || !isModelReady_) {
        logLine("TranscriptionEngine: Local model not ready, falling back to cloud");
        transcribeWithCloud(audioFile, task);
        return;
    }
    if (task->cancelled) return;
    logLine("TranscriptionEngine: Transcribing locally: " + audioFile.string());
    const TimePoint start = mainQueue_.now();
    auto recognizer = recognizer_;
    std::weak_ptr<bool> alive = alive_;
    task->step = tasks_.run<RecognitionResult>(
        [recognizer, audioFile](std::stop_token stop) { return recognizer->transcribeFile(audioFile, stop); },
        [this, alive, task, audioFile, start](RecognitionResult result) {
            if (alive.expired() || task->cancelled) return;
            if (result.ok()) {
                logLine("TranscriptionEngine: Local transcription completed in " + fixed(secondsSince(start), 2) + "s");
                deliverFileText(audioFile, joinRecognitionText(result.value()));
            } else {
                logLine("TranscriptionEngine: Local transcription failed: " + result.error().details);
                const TranscriptionError error{TranscriptionError::Kind::transcriptionFailed, result.error().message};
                notify([&](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidFail(error); });
            }
        });
}

void TranscriptionEngine::transcribeWithCloud(const std::filesystem::path& audioFile, const TaskPtr& task) {
    if (task->cancelled) return;
    logLine("TranscriptionEngine: Transcribing via cloud: " + audioFile.string());
    const TimePoint start = mainQueue_.now();
    auto cloud = cloudService_;
    std::weak_ptr<bool> alive = alive_;
    task->step = tasks_.run<CloudResult>(
        [cloud, audioFile](std::stop_token stop) { return cloud->transcribe(audioFile, stop); },
        [this, alive, task, audioFile, start](CloudResult result) {
            if (alive.expired() || task->cancelled) return;
            if (result.ok()) {
                logLine("TranscriptionEngine: Cloud transcription completed in " + fixed(secondsSince(start), 2) + "s");
                deliverFileText(audioFile, result.value());
            } else {
                if (result.error().kind == CloudTranscriptionError::Kind::cancelled) return;
                const std::string description = result.error().description();
                logLine("TranscriptionEngine: Cloud transcription failed: " + description);
                const TranscriptionError error{TranscriptionError::Kind::cloudTranscriptionFailed, description};
                notify([&](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidFail(error); });
            }
        });
}

void TranscriptionEngine::deliverFileText(const std::filesystem::path& audioFile, const std::string& text) {
    logLine("TranscriptionEngine: Result: " + text);
    std::error_code ignored;
    std::filesystem::remove(audioFile, ignored);
    notify([&](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidComplete(text); });
}

// MARK: - Model lifecycle

void TranscriptionEngine::startBackgroundDownload() {
    if (isInitializing_ || isModelReady_) {
        logLine(std::string("TranscriptionEngine: Skipping download - isInitializing: ") + flag(isInitializing_) +
                ", isModelReady: " + flag(isModelReady_));
        return;
    }
    logLine("TranscriptionEngine: Starting background model download for " +
            std::string(displayName(settings_.whisperModel.get())));
    cancel(initializationTask_);
    auto task = std::make_shared<Task>();
    initializationTask_ = task;
    postSelf([this, task] {
        if (!task->cancelled) initializeModel(settings_.whisperModel.get(), task, {});
    });
}

void TranscriptionEngine::reloadModelIfNeeded() {
    if (isInitializing_) return;
    const WhisperModel selected = settings_.whisperModel.get();
    if (isModelReady_ && currentModel_ == selected) return;
    cancel(initializationTask_);
    auto task = std::make_shared<Task>();
    initializationTask_ = task;
    postSelf([this, task, selected] {
        if (!task->cancelled) initializeModel(selected, task, {});
    });
}

void TranscriptionEngine::initializeModel(WhisperModel model, const TaskPtr& task, std::function<void()> then) {
    isModelReady_ = false;
    isInitializing_ = true;
    notify([](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidStartModelDownload(); });
    const std::string identifier(modelIdentifier(model));
    logLine("TranscriptionEngine: Initializing model " + identifier);
    logLine("TranscriptionEngine: This will download " + std::string(downloadSizeText(model)) + " - please wait...");
    const TimePoint start = mainQueue_.now();

    // A cancelled initialisation never reports, but it must not leave the engine (and the
    // coordinator's download state) waiting for it forever.
    task->onCancel = [this] {
        isInitializing_ = false;
        logLine("TranscriptionEngine: Model initialization cancelled");
        notify([](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidFinishModelDownload(); });
    };

    RecognizerConfiguration configuration;
    configuration.modelIdentifier = identifier;
    auto factory = recognizerFactory_;
    std::weak_ptr<bool> alive = alive_;
    task->step = tasks_.run<CreateResult>(
        [factory, configuration](std::stop_token stop) { return factory->create(configuration, stop); },
        [this, alive, task, model, start, then = std::move(then)](CreateResult result) {
            if (alive.expired() || task->cancelled) return;
            task->onCancel = {};
            const std::string elapsed = fixed(secondsSince(start), 1);
            if (result.ok()) {
                recognizer_ = result.value();
                logLine("TranscriptionEngine: Model initialized in " + elapsed + "s");
                currentModel_ = model;
                isModelReady_ = true;
                isInitializing_ = false;
                notify([](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidFinishModelDownload(); });
            } else {
                logLine("TranscriptionEngine: Model initialization failed after " + elapsed + "s: " + result.error().message);
                logLine("TranscriptionEngine: Full error details: " + result.error().details);
                isInitializing_ = false;
                notify([](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidFinishModelDownload(); });
                const TranscriptionError error{TranscriptionError::Kind::modelInitializationFailed, result.error().message};
                notify([&](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidFail(error); });
            }
            if (then) then();
        });
}

// MARK: - Streaming

void TranscriptionEngine::startStreamingSession() {
    if (!isModelReady_) {
        logLine("TranscriptionEngine: Cannot start streaming - model not ready");
        return;
    }
    isStreamingActive_ = true;
    lastStreamedText_.clear();
    isStreamingTranscriptionInProgress_ = false;
    cancel(transcriptionTask_);
    logLine("TranscriptionEngine: Started streaming session");
}

void TranscriptionEngine::endStreamingSession() {
    isStreamingActive_ = false;
    lastStreamedText_.clear();
    isStreamingTranscriptionInProgress_ = false;
    cancel(transcriptionTask_);
    transcriptionTask_.reset();
    logLine("TranscriptionEngine: Ended streaming session");
}

void TranscriptionEngine::processStreamingSamples(const std::vector<float>& samples, double sampleRate) {
    if (!isStreamingActive_) return;
    if (!isModelReady_) {
        logLine("TranscriptionEngine: Model not ready for streaming");
        return;
    }
    if (!recognizer_) {
        logLine("TranscriptionEngine: Streaming recognizer not initialized");
        return;
    }
    if (isStreamingTranscriptionInProgress_) return;  // the next delivery carries these samples again
    if (static_cast<double>(samples.size()) < sampleRate) return;
    logLine("TranscriptionEngine: Processing " + std::to_string(samples.size()) + " samples for streaming");
    isStreamingTranscriptionInProgress_ = true;
    auto task = std::make_shared<Task>();
    // A cancelled pass ends without a result but still ends, so that a later delivery may start one.
    task->onCancel = [this] { isStreamingTranscriptionInProgress_ = false; };
    transcriptionTask_ = task;  // replaces the finished pass's handle without cancelling
    auto window = std::make_shared<const std::vector<float>>(samples);
    auto recognizer = recognizer_;
    postSelf([this, window, recognizer, task] { runStreamingPass(window, recognizer, task); });
}

void TranscriptionEngine::runStreamingPass(std::shared_ptr<const std::vector<float>> samples,
                                           std::shared_ptr<OnDeviceRecognizer> recognizer, const TaskPtr& task) {
    if (task->cancelled) return;
    if (!isStreamingActive_) {
        task->onCancel = {};
        isStreamingTranscriptionInProgress_ = false;
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    task->step = tasks_.run<RecognitionResult>(
        [recognizer, samples](std::stop_token stop) {
            return recognizer->transcribeSamples(*samples, DecodingOptions::streaming(), stop);
        },
        [this, alive, task](RecognitionResult result) {
            if (alive.expired() || task->cancelled) return;
            task->onCancel = {};
            if (result.ok()) {
                handleStreamingText(joinRecognitionText(result.value()));
            } else {
                logLine("TranscriptionEngine: Streaming transcription error: " + result.error().details);
            }
            isStreamingTranscriptionInProgress_ = false;
        });
}

void TranscriptionEngine::handleStreamingText(const std::string& newText) {
    logLine("TranscriptionEngine: Streaming result: '" + newText + "' (previous: '" + lastStreamedText_ + "')");
    if (newText == lastStreamedText_ || newText.empty()) return;
    const std::string old = std::exchange(lastStreamedText_, newText);
    if (old.empty()) {
        logLine("TranscriptionEngine: Streaming - first result");
        notify([&](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidReceivePartialText(newText, newText); });
    } else if (newText.starts_with(old)) {
        const std::string delta = newText.substr(old.size());
        logLine("TranscriptionEngine: Streaming - appending delta");
        notify([&](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidReceivePartialText(newText, delta); });
    } else {
        logLine("TranscriptionEngine: Streaming - text revised");
        notify([&](TranscriptionEngineDelegate& d) { d.transcriptionEngineDidReviseText(old, newText); });
    }
}

// MARK: - Cancellation

void TranscriptionEngine::cancelTranscription() {
    cancel(transcriptionTask_);
    transcriptionTask_.reset();
    isStreamingActive_ = false;
    lastStreamedText_.clear();
}

}  // namespace quonvera
