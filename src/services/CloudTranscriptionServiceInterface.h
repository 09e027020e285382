#pragma once

#include "core/Result.h"
#include "models/Errors.h"

#include <filesystem>
#include <stop_token>
#include <string>

namespace quonvera {

// Transcribes a recording through the Quonvera cloud service.
class CloudTranscriptionServiceInterface {
public:
    virtual ~CloudTranscriptionServiceInterface() = default;
    // Blocks until the service answers or every attempt failed; call it from a background
    // task. A stop request ends the call promptly with the `cancelled` error.
    virtual Result<std::string, CloudTranscriptionError> transcribe(const std::filesystem::path& audioFile,
                                                                    std::stop_token stopToken) = 0;
    virtual bool isConnected() const = 0;
};

}  // namespace quonvera
