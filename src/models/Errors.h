#pragma once

#include <string>

namespace quonvera {

// Why a recording could not start. Each case has a user-facing description.
struct AudioEngineError {
    enum class Kind {
        microphonePermissionDenied,
        engineInitializationFailed,
        formatCreationFailed,
        fileCreationFailed,
        deviceSelectionFailed,
        // A failure of the system itself (for example the file could not be written), carrying
        // the system's own message.
        system,
    };
    Kind kind;
    std::string systemMessage;  // only for Kind::system

    std::string description() const;
    bool operator==(const AudioEngineError&) const = default;
};

// Why the router could not deliver a text. Each case carries the underlying message.
struct TranscriptionError {
    enum class Kind { modelInitializationFailed, transcriptionFailed, cloudTranscriptionFailed };
    Kind kind;
    std::string message;

    std::string description() const;
    bool operator==(const TranscriptionError&) const = default;
};

// Why the enhancement service returned no improved text.
struct EnhancementError {
    enum class Kind { networkError, serverError, decodingError, emptyResponse };
    Kind kind;
    std::string networkMessage;  // networkError: the underlying error's description
    int statusCode = 0;          // serverError

    std::string description() const;
    bool operator==(const EnhancementError&) const = default;
};

// Why the cloud service returned no transcript.
struct CloudTranscriptionError {
    enum class Kind {
        networkError,
        serverError,
        invalidURL,
        offline,
        rateLimited,
        decodingError,
        noTranscriptionReturned,
        cancelled,  // the caller stopped the request; never shown to the user
    };
    Kind kind;
    std::string networkMessage;  // networkError: the underlying error's description
    int statusCode = 0;          // serverError

    std::string description() const;
    // Whether a failed attempt with this error is tried again.
    bool isRetried() const;
    bool operator==(const CloudTranscriptionError&) const = default;
};

}  // namespace quonvera
