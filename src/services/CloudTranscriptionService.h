#pragma once

#include "core/BackgroundTasks.h"
#include "core/MainQueue.h"
#include "platform/HttpClient.h"
#include "platform/NetworkMonitor.h"
#include "services/CloudTranscriptionServiceInterface.h"

#include <atomic>
#include <functional>
#include <memory>

namespace quonvera {

// Sends a recording to the cloud service's transcription endpoint as a multipart form and
// returns the text. Transient failures (network, server status, rate limiting) are tried
// again, up to three attempts, with waits of 1 s and 2 s (doubled when rate-limited); nothing
// is sent while the network is down.
class CloudTranscriptionService final : public CloudTranscriptionServiceInterface {
public:
    // Waits for the back-off delay; returns false when the stop token ended the wait early.
    using Sleep = std::function<bool(Duration, std::stop_token)>;

    static constexpr int maxRetries = 3;
    static constexpr Duration baseRetryDelay = std::chrono::seconds(1);

    // `baseUrl` is the service's base URL (see serviceBaseUrl()). The monitor is started here
    // and cancelled on destruction. Tests pass a `sleep` that does not really wait.
    CloudTranscriptionService(HttpClient& http, std::unique_ptr<NetworkMonitor> networkMonitor,
                              std::string installId, const std::string& baseUrl, Sleep sleep = sleepFor);
    ~CloudTranscriptionService() override;
    CloudTranscriptionService(const CloudTranscriptionService&) = delete;
    CloudTranscriptionService& operator=(const CloudTranscriptionService&) = delete;

    Result<std::string, CloudTranscriptionError> transcribe(const std::filesystem::path& audioFile,
                                                            std::stop_token stopToken) override;
    bool isConnected() const override { return connected_->load(); }

    const std::string& proxyEndpoint() const { return proxyEndpoint_; }

private:
    Result<std::string, CloudTranscriptionError> attempt(const std::filesystem::path& audioFile,
                                                         std::stop_token stopToken);

    HttpClient& http_;
    std::unique_ptr<NetworkMonitor> networkMonitor_;
    std::string installId_;
    std::string proxyEndpoint_;
    Sleep sleep_;
    // Shared with the monitor's handler so that it never refers to a destroyed service.
    std::shared_ptr<std::atomic<bool>> connected_ = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace quonvera
