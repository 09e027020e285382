#pragma once

#include "app/contract/EnhancementServiceInterface.h"
#include "platform/HttpClient.h"

#include <string>
#include <vector>

namespace quonvera {

// Has the cloud service's language model tidy a transcript: builds the editing prompt from the
// enhancement settings and posts it to the enhancement endpoint. One attempt, no retry.
class ClaudeEnhancementService final : public EnhancementServiceInterface {
public:
    // `baseUrl` is the service's base URL (see serviceBaseUrl()).
    ClaudeEnhancementService(HttpClient& http, std::string installId, const std::string& baseUrl);

    Result<std::string, EnhancementError> enhance(const std::string& text, bool autoFormat, bool smartCorrections,
                                                  const std::vector<std::string>& customVocabulary,
                                                  std::stop_token stopToken) override;

    static std::string buildPrompt(const std::string& text, bool autoFormat, bool smartCorrections,
                                   const std::vector<std::string>& customVocabulary);
    // The reply budget: twice the number of user-perceived characters, at least 1000.
    static int maxTokens(const std::string& text);

    const std::string& proxyEndpoint() const { return proxyEndpoint_; }

private:
    HttpClient& http_;
    std::string installId_;
    std::string proxyEndpoint_;
};

}  // namespace quonvera
