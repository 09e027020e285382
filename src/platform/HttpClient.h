#pragma once

#include "core/MainQueue.h"
#include "core/Result.h"

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quonvera {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// The value of the first header with this name (compared without regard to case).
std::optional<std::string> findHeader(const HttpHeaders& headers, std::string_view name);

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    // Sent as given, in this order. The client adds only what HTTP itself needs (Host,
    // Content-Length); it sends no Accept, Expect or authentication header of its own.
    HttpHeaders headers;
    std::string body;
    // The request fails when no byte moves for this long (connecting included)...
    Duration idleTimeout = seconds(30);
    // ...or when the whole exchange takes longer than this.
    Duration totalTimeout = seconds(60);
};

struct HttpResponse {
    int statusCode = 0;
    HttpHeaders headers;  // as received, names in their received case
    std::string body;

    std::optional<std::string> header(std::string_view name) const { return findHeader(headers, name); }
};

// Why a request produced no response.
struct HttpError {
    enum class Kind {
        cancelled,  // the caller's stop token asked to stop
        failed,     // no connection, timeout, refused address, broken transfer
    };
    Kind kind;
    std::string message;
};

// Sends HTTP requests. Redirects are never followed: a 3xx answer is returned as it is.
// Only the http and https schemes are accepted.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    // Blocks until the response has arrived or the request failed. A stop request ends the
    // call promptly with HttpError::Kind::cancelled. Safe to call from several threads at once.
    virtual Result<HttpResponse, HttpError> send(const HttpRequest& request, std::stop_token stopToken) = 0;
};

}  // namespace quonvera
