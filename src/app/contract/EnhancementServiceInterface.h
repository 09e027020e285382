#pragma once

#include "core/Result.h"
#include "models/Errors.h"

#include <stop_token>
#include <string>
#include <vector>

namespace quonvera {

// Asks the AI editing service to tidy a transcript.
class EnhancementServiceInterface {
public:
    virtual ~EnhancementServiceInterface() = default;
    // Blocks until the service answers; call it from a background task. Returns the improved
    // text (never empty) or why there is none. A stop request ends the call promptly.
    virtual Result<std::string, EnhancementError> enhance(const std::string& text, bool autoFormat,
                                                          bool smartCorrections,
                                                          const std::vector<std::string>& customVocabulary,
                                                          std::stop_token stopToken) = 0;
};

}  // namespace quonvera
