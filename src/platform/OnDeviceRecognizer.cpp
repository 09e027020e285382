#include "platform/OnDeviceRecognizer.h"

namespace quonvera {

DecodingOptions DecodingOptions::streaming() {
    DecodingOptions options;
    options.task = Task::transcribe;
    options.language = "en";
    options.detectLanguage = false;
    options.verbose = false;
    options.temperature = 0.0f;
    options.temperatureIncrementOnFallback = 0.2f;
    options.temperatureFallbackCount = 5;
    options.sampleLength = 224;
    options.topK = 5;
    options.usePrefillPrompt = true;
    options.usePrefillCache = true;
    options.skipSpecialTokens = true;
    options.withoutTimestamps = true;
    options.wordTimestamps = false;
    options.maxInitialTimestamp = std::nullopt;
    options.maxWindowSeek = std::nullopt;
    options.clipTimestamps = {};
    options.windowClipTime = 1.0f;
    options.promptTokens = {};
    options.prefixTokens = {};
    options.suppressTokens = {};
    options.suppressBlank = false;
    options.compressionRatioThreshold = 2.4f;
    options.logProbThreshold = -1.0f;
    options.firstTokenLogProbThreshold = -1.5f;
    options.noSpeechThreshold = 0.6f;
    options.concurrentWorkerCount = 0;
    options.chunking = false;
    return options;
}

}  // namespace quonvera
