#pragma once

#include "platform/HttpClient.h"

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quonvera::test {

// One scripted answer of the stand-in (see cloud_service_standin.py).
struct StandInResponse {
    int status = 200;
    std::string body;
    HttpHeaders headers;
    double delaySeconds = 0;
    bool drop = false;  // close the connection without answering
};

// One request the stand-in received.
struct RecordedRequest {
    std::string method;
    std::string path;
    HttpHeaders headers;  // in the order received
    std::string body;

    std::optional<std::string> header(std::string_view name) const { return findHeader(headers, name); }
};

// Runs tests/support/cloud_service_standin.py on a free port of 127.0.0.1 for as long as it
// exists. Throws std::runtime_error when the stand-in cannot be started.
class CloudServiceStandIn {
public:
    CloudServiceStandIn();
    ~CloudServiceStandIn();
    CloudServiceStandIn(const CloudServiceStandIn&) = delete;
    CloudServiceStandIn& operator=(const CloudServiceStandIn&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT", to be used as the service base URL.
    std::string baseUrl() const;

    // Requests to `path` get `responses` in order, then `then` (absent: the built-in answer).
    void script(const std::string& path, const std::vector<StandInResponse>& responses,
                const std::optional<StandInResponse>& then = std::nullopt);
    // Every request received so far (control requests excluded), oldest first.
    std::vector<RecordedRequest> requests() const;
    // Forgets scripts and recorded requests.
    void reset();

private:
    HttpResponse control(const std::string& method, const std::string& path, const std::string& body) const;

    pid_t pid_ = -1;
    int output_ = -1;
    int port_ = 0;
};

// One stand-in shared by every test of the program, started on first use and stopped at exit.
// Tests call reset() before using it. Throws like the constructor when it cannot start.
CloudServiceStandIn& sharedCloudServiceStandIn();

}  // namespace quonvera::test
