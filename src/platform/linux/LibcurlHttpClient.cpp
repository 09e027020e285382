#include "platform/linux/LibcurlHttpClient.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>

namespace quonvera {
namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

size_t collectHeader(char* data, size_t size, size_t count, void* target) {
    auto& headers = *static_cast<HttpHeaders*>(target);
    const std::string_view line(data, size * count);
    // A new status line (after "100 Continue" or similar) starts a fresh header block.
    if (line.starts_with("HTTP/")) {
        headers.clear();
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    return size * count;
}

long milliseconds(Duration duration) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

HttpError failure(CURLcode code, const char* detail) {
    std::string message = detail && *detail ? detail : curl_easy_strerror(code);
    return {HttpError::Kind::failed, std::move(message)};
}

}  // namespace

LibcurlHttpClient::LibcurlHttpClient() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Result<HttpResponse, HttpError> LibcurlHttpClient::send(const HttpRequest& request, std::stop_token stopToken) {
    const HttpError cancelled{HttpError::Kind::cancelled, "cancelled"};
    if (stopToken.stop_requested()) return cancelled;

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) return HttpError{HttpError::Kind::failed, "Could not start an HTTP transfer"};

    curl_slist* rawList = nullptr;
    for (const auto& [name, value] : request.headers) rawList = curl_slist_append(rawList, (name + ": " + value).c_str());
    // libcurl would otherwise add these on its own; "Expect: 100-continue" also costs a round trip.
    for (const char* name : {"Accept", "Expect"})
        if (!findHeader(request.headers, name)) rawList = curl_slist_append(rawList, (std::string(name) + ":").c_str());
    std::unique_ptr<curl_slist, ListDeleter> headerList(rawList);

    HttpResponse response;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    // A service on this machine is reached directly, whatever proxy the environment names.
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &response.headers);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, milliseconds(request.totalTimeout));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, milliseconds(request.idleTimeout));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME,
                     std::max(1L, static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(request.idleTimeout).count())));
    if (request.method == "GET" && request.body.empty()) {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else {
        // The body is sent from the request's own buffer, without a copy.
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        if (request.method != "POST") curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    if (curl_multi_add_handle(multi.get(), handle) != CURLM_OK)
        return HttpError{HttpError::Kind::failed, "Could not start an HTTP transfer"};

    CURLcode outcome = CURLE_OK;
    bool stopped = false;
    {
        std::stop_callback wake(stopToken, [m = multi.get()] { curl_multi_wakeup(m); });
        int running = 1;
        while (true) {
            if (stopToken.stop_requested()) {
                stopped = true;
                break;
            }
            if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
                outcome = CURLE_FAILED_INIT;
                break;
            }
            if (running == 0) {
                int queued = 0;
                while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued))
                    if (message->msg == CURLMSG_DONE) outcome = message->data.result;
                break;
            }
            curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
        }
    }
    curl_multi_remove_handle(multi.get(), handle);

    if (stopped) return cancelled;
    if (outcome != CURLE_OK) return failure(outcome, errorBuffer);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    response.statusCode = static_cast<int>(status);
    return response;
}

}  // namespace quonvera
