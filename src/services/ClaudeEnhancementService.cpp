#include "services/ClaudeEnhancementService.h"

#include "services/ServiceUrl.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>

namespace quonvera {
namespace {

using Kind = EnhancementError::Kind;

std::string join(const std::vector<std::string>& parts, const std::string& separator) {
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) joined += separator;
        joined += parts[i];
    }
    return joined;
}

// User-perceived characters (extended grapheme clusters) of UTF-8 text.
long graphemeCount(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    std::unique_ptr<UText, decltype(&utext_close)> guard(utext, utext_close);
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !iterator) return static_cast<long>(text.size());
    iterator->setText(utext, status);
    if (U_FAILURE(status)) return static_cast<long>(text.size());
    long count = 0;
    iterator->first();
    while (iterator->next() != icu::BreakIterator::DONE) ++count;
    return count;
}

}  // namespace

ClaudeEnhancementService::ClaudeEnhancementService(HttpClient& http, std::string installId, const std::string& baseUrl)
    : http_(http), installId_(std::move(installId)), proxyEndpoint_(baseUrl + "/api/enhance") {}

std::string ClaudeEnhancementService::buildPrompt(const std::string& text, bool autoFormat, bool smartCorrections,
                                                  const std::vector<std::string>& customVocabulary) {
    std::vector<std::string> instructions;
    if (autoFormat) instructions.emplace_back("Fix punctuation, capitalization, and paragraph breaks");
    if (smartCorrections) {
        instructions.emplace_back("Correct any obvious transcription errors");
        instructions.emplace_back("Fix technical terms and proper nouns");
    }
    if (!customVocabulary.empty())
        instructions.push_back("Use correct spelling for these terms: " + join(customVocabulary, ", "));
    const std::string instructionText = instructions.empty()
                                            ? "Clean up this transcription while preserving the original meaning."
                                            : join(instructions, ". ") + ".";
    return "You are a transcription editor. Your task is to improve the following voice transcription.\n\n"
           "Instructions:\n" +
           instructionText +
           "\n\nImportant:\n"
           "- Preserve the original meaning exactly\n"
           "- Don't add or remove content\n"
           "- Don't add explanations or comments\n"
           "- Return only the improved text\n\n"
           "Transcription:\n" +
           text;
}

int ClaudeEnhancementService::maxTokens(const std::string& text) {
    return static_cast<int>(std::max(1000L, 2 * graphemeCount(text)));
}

Result<std::string, EnhancementError> ClaudeEnhancementService::enhance(const std::string& text, bool autoFormat,
                                                                        bool smartCorrections,
                                                                        const std::vector<std::string>& customVocabulary,
                                                                        std::stop_token stopToken) {
    const std::string prompt = buildPrompt(text, autoFormat, smartCorrections, customVocabulary);
    if (!isPermittedServiceUrl(proxyEndpoint_)) return EnhancementError{Kind::networkError, "unsupported URL", 0};

    const nlohmann::json payload = {{"prompt", prompt}, {"max_tokens", maxTokens(text)}};
    HttpRequest request;
    request.method = "POST";
    request.url = proxyEndpoint_;
    request.idleTimeout = seconds(30);
    request.totalTimeout = seconds(60);
    request.headers = {{"Content-Type", "application/json"}, {"X-Install-ID", installId_}};
    // Invalid UTF-8 in a transcript is sent as U+FFFD rather than failing the enhancement.
    request.body = payload.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);

    auto sent = http_.send(request, stopToken);
    if (!sent.ok()) return EnhancementError{Kind::networkError, sent.error().message, 0};
    const HttpResponse& response = sent.value();
    if (response.statusCode < 200 || response.statusCode > 299)
        return EnhancementError{Kind::serverError, {}, response.statusCode};

    std::string improved;
    try {
        improved = nlohmann::json::parse(response.body).at("text").get<std::string>();
    } catch (const nlohmann::json::exception&) {
        return EnhancementError{Kind::decodingError, {}, 0};
    }
    if (improved.empty()) return EnhancementError{Kind::emptyResponse, {}, 0};
    return improved;
}

}  // namespace quonvera
