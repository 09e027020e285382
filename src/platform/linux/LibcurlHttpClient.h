#pragma once

#include "platform/HttpClient.h"

namespace quonvera {

// HttpClient over libcurl. Each request runs on the calling thread through its own multi
// handle, so a stop request wakes the transfer at once instead of at the next progress tick.
class LibcurlHttpClient final : public HttpClient {
public:
    LibcurlHttpClient();
    Result<HttpResponse, HttpError> send(const HttpRequest& request, std::stop_token stopToken) override;
};

}  // namespace quonvera
