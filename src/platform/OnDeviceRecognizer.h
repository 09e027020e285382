#pragma once

#include "core/Result.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace quonvera {

// Why the recognizer could not be created or could not transcribe.
struct RecognizerError {
    std::string message;  // short, shown to the user
    std::string details;  // everything known about the failure, for the log

    static RecognizerError withMessage(std::string text) {
        RecognizerError error{std::move(text), {}};
        error.details = error.message;
        return error;
    }
};

// One piece of recognized text.
struct RecognitionSegment {
    std::string text;
};

using RecognitionResult = Result<std::vector<RecognitionSegment>, RecognizerError>;

// How a recognizer decodes samples. The defaults are the recognizer's own; `streaming()` gives the
// fixed options of streaming passes. A recognizer maps what it can and documents the rest.
struct DecodingOptions {
    enum class Task { transcribe, translate };

    Task task = Task::transcribe;
    std::optional<std::string> language;  // none: the recognizer's default
    bool detectLanguage = false;
    bool verbose = false;
    float temperature = 0.0f;
    float temperatureIncrementOnFallback = 0.2f;
    int temperatureFallbackCount = 5;
    int sampleLength = 224;  // tokens sampled per window at most
    int topK = 5;
    bool usePrefillPrompt = true;
    bool usePrefillCache = true;
    bool skipSpecialTokens = true;
    bool withoutTimestamps = false;
    bool wordTimestamps = false;
    std::optional<float> maxInitialTimestamp;
    std::optional<int> maxWindowSeek;
    std::vector<float> clipTimestamps;
    float windowClipTime = 1.0f;
    std::vector<int> promptTokens;
    std::vector<int> prefixTokens;
    std::vector<int> suppressTokens;
    bool suppressBlank = true;
    std::optional<float> compressionRatioThreshold = 2.4f;
    std::optional<float> logProbThreshold = -1.0f;
    std::optional<float> firstTokenLogProbThreshold = -1.5f;
    std::optional<float> noSpeechThreshold = 0.6f;
    int concurrentWorkerCount = 0;  // 0: the recognizer's default
    bool chunking = false;

    // English transcription without timestamps, suppressing nothing, for re-transcribing the
    // growing window of a streaming dictation.
    static DecodingOptions streaming();
};

// A loaded on-device speech model. Both operations block until done and are called from
// background tasks; a stop request ends them early. They may be called from several threads.
class OnDeviceRecognizer {
public:
    virtual ~OnDeviceRecognizer() = default;
    // Transcribes a recording file with the recognizer's default decoding options.
    virtual RecognitionResult transcribeFile(const std::filesystem::path& audioFile, std::stop_token stopToken) = 0;
    // Transcribes 16000 Hz mono samples.
    virtual RecognitionResult transcribeSamples(const std::vector<float>& samples, const DecodingOptions& options,
                                                std::stop_token stopToken) = 0;
};

// What a recognizer is created from.
struct RecognizerConfiguration {
    std::string modelIdentifier;  // "openai_whisper-tiny", ...
    bool downloadIfMissing = true;
    bool prewarm = true;
    bool verboseLogging = true;  // the recognizer's own log at debug level
};

// Creates recognizers: downloads the model when it is not present locally, loads and prewarms it.
// Blocks (minutes on first use); called from a background task.
class OnDeviceRecognizerFactory {
public:
    virtual ~OnDeviceRecognizerFactory() = default;
    virtual Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> create(const RecognizerConfiguration& configuration,
                                                                                std::stop_token stopToken) = 0;
};

}  // namespace quonvera
