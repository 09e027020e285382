#include "models/Errors.h"

namespace quonvera {

std::string AudioEngineError::description() const {
    switch (kind) {
        case Kind::microphonePermissionDenied: return "Microphone permission denied";
        case Kind::engineInitializationFailed: return "Failed to initialize audio engine";
        case Kind::formatCreationFailed: return "Failed to create audio format";
        case Kind::fileCreationFailed: return "Failed to create audio file";
        case Kind::deviceSelectionFailed: return "Failed to select audio input device";
        case Kind::system: return systemMessage;
    }
    return systemMessage;
}

std::string TranscriptionError::description() const {
    switch (kind) {
        case Kind::modelInitializationFailed: return "Failed to initialize transcription model: " + message;
        case Kind::transcriptionFailed: return "Transcription failed: " + message;
        case Kind::cloudTranscriptionFailed: return "Cloud transcription failed: " + message;
    }
    return message;
}

std::string EnhancementError::description() const {
    switch (kind) {
        case Kind::networkError: return "Network error: " + networkMessage;
        case Kind::serverError: return "Server error (code " + std::to_string(statusCode) + ").";
        case Kind::decodingError: return "Failed to process AI response.";
        case Kind::emptyResponse: return "AI returned empty response.";
    }
    return "";
}

std::string CloudTranscriptionError::description() const {
    switch (kind) {
        case Kind::networkError: return "Network error: " + networkMessage;
        case Kind::serverError: return "Server error (code " + std::to_string(statusCode) + "). Please try again.";
        case Kind::invalidURL: return "Invalid API endpoint URL.";
        case Kind::offline: return "No internet connection. Please connect to continue.";
        case Kind::rateLimited: return "Rate limit exceeded. Please try again later.";
        case Kind::decodingError: return "Failed to decode transcription response.";
        case Kind::noTranscriptionReturned: return "No transcription text returned.";
        case Kind::cancelled: return "Cancelled.";
    }
    return "";
}

bool CloudTranscriptionError::isRetried() const {
    return kind == Kind::networkError || kind == Kind::serverError || kind == Kind::rateLimited;
}

}  // namespace quonvera
