#include "services/CloudTranscriptionService.h"

#include "core/Log.h"
#include "core/Uuid.h"
#include "services/ServiceUrl.h"
#include "services/TranscriptionFormBody.h"

#include <nlohmann/json.hpp>

namespace quonvera {
namespace {

using Kind = CloudTranscriptionError::Kind;

CloudTranscriptionError error(Kind kind) { return {kind, {}, 0}; }

}  // namespace

CloudTranscriptionService::CloudTranscriptionService(HttpClient& http, std::unique_ptr<NetworkMonitor> networkMonitor,
                                                     std::string installId, const std::string& baseUrl, Sleep sleep)
    : http_(http),
      networkMonitor_(std::move(networkMonitor)),
      installId_(std::move(installId)),
      proxyEndpoint_(baseUrl + "/api/transcribe"),
      sleep_(std::move(sleep)) {
    networkMonitor_->start([connected = connected_](bool isConnected) {
        connected->store(isConnected);
        logLine(std::string("CloudTranscriptionService: Network status changed - connected: ") +
                (isConnected ? "true" : "false"));
    });
}

CloudTranscriptionService::~CloudTranscriptionService() { networkMonitor_->cancel(); }

Result<std::string, CloudTranscriptionError> CloudTranscriptionService::transcribe(
    const std::filesystem::path& audioFile, std::stop_token stopToken) {
    if (!isConnected()) return error(Kind::offline);
    for (int n = 1;; ++n) {
        auto outcome = attempt(audioFile, stopToken);
        if (outcome.ok()) return outcome;
        const CloudTranscriptionError& failure = outcome.error();
        if (!failure.isRetried() || n == maxRetries) return outcome;

        Duration wait = baseRetryDelay * (1 << (n - 1));
        if (failure.kind == Kind::rateLimited) wait *= 2;
        logLine("CloudTranscriptionService: Attempt " + std::to_string(n) + " failed, retrying in " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) + "s...");
        if (!sleep_(wait, stopToken) || stopToken.stop_requested()) return error(Kind::cancelled);
        if (!isConnected()) return error(Kind::offline);
    }
}

Result<std::string, CloudTranscriptionError> CloudTranscriptionService::attempt(const std::filesystem::path& audioFile,
                                                                                std::stop_token stopToken) {
    if (!isPermittedServiceUrl(proxyEndpoint_)) return error(Kind::invalidURL);
    if (stopToken.stop_requested()) return error(Kind::cancelled);

    const std::string boundary = makeUuidString();
    auto body = buildTranscriptionFormBody(audioFile, boundary);
    if (!body.ok()) return CloudTranscriptionError{Kind::networkError, body.error().message, 0};

    HttpRequest request;
    request.method = "POST";
    request.url = proxyEndpoint_;
    request.idleTimeout = seconds(30);
    request.totalTimeout = seconds(60);
    request.headers = {{"X-Install-ID", installId_}, {"Content-Type", "multipart/form-data; boundary=" + boundary}};
    request.body = std::move(body.value());

    auto sent = http_.send(request, stopToken);
    if (!sent.ok()) {
        if (sent.error().kind == HttpError::Kind::cancelled) return error(Kind::cancelled);
        return CloudTranscriptionError{Kind::networkError, sent.error().message, 0};
    }
    const HttpResponse& response = sent.value();
    if (response.statusCode == 429) return error(Kind::rateLimited);
    if (response.statusCode < 200 || response.statusCode > 299)
        return CloudTranscriptionError{Kind::serverError, {}, response.statusCode};

    std::string text;
    try {
        text = nlohmann::json::parse(response.body).at("text").get<std::string>();
    } catch (const nlohmann::json::exception& decodeError) {
        logLine(std::string("CloudTranscriptionService: Failed to decode response: ") + decodeError.what());
        return error(Kind::decodingError);
    }
    if (text.empty()) return error(Kind::noTranscriptionReturned);
    return text;
}

}  // namespace quonvera
