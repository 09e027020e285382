#pragma once

#include "platform/OnDeviceRecognizer.h"
#include "services/ModelDownloaderInterface.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct whisper_context;

namespace quonvera {

// A ggml Whisper model loaded with whisper.cpp. Calls are serialised and all decoding runs on one
// long-lived thread of the recognizer: one context decodes one buffer at a time, and ggml's
// OpenMP worker team, which belongs to the calling thread, is made once instead of once per
// background task.
class WhisperCppRecognizer final : public OnDeviceRecognizer {
public:
    // Loads a ggml model file and, when asked, runs it once on a second of silence so that the
    // first real transcription does not pay for the warm-up.
    static Result<std::shared_ptr<WhisperCppRecognizer>, RecognizerError> load(const std::filesystem::path& modelFile,
                                                                               bool prewarm, std::stop_token stopToken);
    ~WhisperCppRecognizer() override;
    WhisperCppRecognizer(const WhisperCppRecognizer&) = delete;
    WhisperCppRecognizer& operator=(const WhisperCppRecognizer&) = delete;

    RecognitionResult transcribeFile(const std::filesystem::path& audioFile, std::stop_token stopToken) override;
    RecognitionResult transcribeSamples(const std::vector<float>& samples, const DecodingOptions& options,
                                        std::stop_token stopToken) override;

private:
    explicit WhisperCppRecognizer(whisper_context* context);
    RecognitionResult run(const std::vector<float>& samples, const DecodingOptions* options, std::stop_token stopToken);
    RecognitionResult decode(const std::vector<float>& samples, const DecodingOptions* options, std::stop_token stopToken);
    void decodeJobs(std::stop_token stopToken);

    whisper_context* context_;
    std::mutex mutex_;
    std::condition_variable_any jobAdded_;
    std::deque<std::function<void()>> jobs_;
    std::jthread decoder_;
};

// Finds the ggml file of a model identifier in the model folder, downloading it from the model
// repository on first use, and loads it.
class WhisperCppRecognizerFactory final : public OnDeviceRecognizerFactory {
public:
    WhisperCppRecognizerFactory(std::filesystem::path modelFolder, std::string repositoryBaseUrl,
                                std::shared_ptr<ModelDownloaderInterface> downloader);

    Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> create(const RecognizerConfiguration& configuration,
                                                                        std::stop_token stopToken) override;

private:
    std::mutex mutex_;  // one model file is fetched and loaded at a time
    std::filesystem::path modelFolder_;
    std::string repositoryBaseUrl_;
    std::shared_ptr<ModelDownloaderInterface> downloader_;
};

}  // namespace quonvera
