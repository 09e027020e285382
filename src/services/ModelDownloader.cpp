#include "services/ModelDownloader.h"

#include "core/Log.h"
#include "core/Sha256.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace quonvera {
namespace {

constexpr const char* kDefaultBaseUrl = "https://huggingface.co/ggerganov/whisper.cpp/resolve/main";

std::string megabytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// The state of one HTTP transfer into the partial file.
struct Transfer {
    std::FILE* file = nullptr;
    std::filesystem::path partial;
    std::string fileName;
    std::uint64_t offset = 0;        // bytes already in the partial file when the transfer began
    std::uint64_t expectedSize = 0;  // 0: unknown
    std::stop_token stopToken;
    CURL* curl = nullptr;
    bool checkedStatus = false;
    bool writeFailed = false;
    std::chrono::steady_clock::time_point lastProgressLog{};
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* userData) {
    auto& transfer = *static_cast<Transfer*>(userData);
    if (!transfer.checkedStatus) {
        transfer.checkedStatus = true;
        long status = 0;
        curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 400) return 0;  // the caller reports the status
        if (transfer.offset > 0 && status != 206) {
            // The server ignored the range and sends the whole file: start over.
            transfer.file = std::freopen(transfer.partial.c_str(), "wb", transfer.file);
            transfer.offset = 0;
            if (!transfer.file) {
                transfer.writeFailed = true;
                return 0;
            }
        }
    }
    const std::size_t bytes = size * count;
    if (std::fwrite(data, 1, bytes, transfer.file) != bytes) {
        transfer.writeFailed = true;
        return 0;
    }
    return bytes;
}

int reportProgress(void* userData, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<Transfer*>(userData);
    if (transfer.stopToken.stop_requested()) return 1;
    const auto clock = std::chrono::steady_clock::now();
    if (now <= 0 || clock - transfer.lastProgressLog < std::chrono::seconds(1)) return 0;
    transfer.lastProgressLog = clock;
    const std::uint64_t done = transfer.offset + static_cast<std::uint64_t>(now);
    std::uint64_t whole = transfer.expectedSize;
    if (whole == 0 && total > 0) whole = transfer.offset + static_cast<std::uint64_t>(total);
    if (whole > 0) {
        char percent[16];
        std::snprintf(percent, sizeof percent, "%.0f%%", 100.0 * static_cast<double>(done) / static_cast<double>(whole));
        logLine("ModelDownloader: Downloading " + transfer.fileName + ": " + percent + " (" + megabytes(done) + " of " +
                megabytes(whole) + ")");
    } else {
        logLine("ModelDownloader: Downloading " + transfer.fileName + ": " + megabytes(done));
    }
    return 0;
}

std::uint64_t fileSize(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    return error ? 0 : size;
}

void initializeCurlOnce() {
    static const bool initialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialized;
}

enum class AttemptOutcome { complete, retry, failed };

}  // namespace

std::filesystem::path ModelDownloader::partialPath(const std::filesystem::path& destination) {
    auto partial = destination;
    partial += ".partial";
    return partial;
}

Result<ModelDownloadOutcome, std::string> ModelDownloader::download(const ModelDownload& request, std::stop_token stopToken) {
    std::lock_guard lock(mutex_);
    const std::string fileName = request.destination.filename().string();
    std::error_code error;
    if (std::filesystem::is_regular_file(request.destination, error) &&
        (request.expectedSize == 0 || fileSize(request.destination) == request.expectedSize))
        return ModelDownloadOutcome{true, 0};

    std::filesystem::create_directories(request.destination.parent_path(), error);
    if (error) return std::string("Cannot create the model folder " + request.destination.parent_path().string() + ": " + error.message());
    const auto partial = partialPath(request.destination);
    if (request.expectedSize > 0 && fileSize(partial) > request.expectedSize) std::filesystem::remove(partial, error);

    initializeCurlOnce();
    ModelDownloadOutcome outcome;
    outcome.resumedFrom = fileSize(partial);
    std::string lastFailure;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (stopToken.stop_requested()) return std::string("Download of " + fileName + " cancelled");
        Transfer transfer;
        transfer.partial = partial;
        transfer.fileName = fileName;
        transfer.offset = fileSize(partial);
        transfer.expectedSize = request.expectedSize;
        transfer.stopToken = stopToken;
        if (request.expectedSize > 0 && transfer.offset == request.expectedSize) break;  // complete, not yet verified
        transfer.file = std::fopen(partial.c_str(), "ab");
        if (!transfer.file) return std::string("Cannot write " + partial.string());
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
        transfer.curl = curl.get();
        logLine(transfer.offset > 0 ? "ModelDownloader: Resuming " + fileName + " at byte " + std::to_string(transfer.offset)
                                    : "ModelDownloader: Downloading " + request.url);
        curl_easy_setopt(curl.get(), CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 30L);
        // A transfer slower than 1 kB/s for a minute has stalled.
        curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1024L);
        curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, 60L);
        curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(transfer.offset));
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &writeBody);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, &reportProgress);
        curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &transfer);
        const CURLcode result = curl_easy_perform(curl.get());
        long status = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
        bool closed = true;
        if (transfer.file) {
            closed = std::fflush(transfer.file) == 0 && ::fsync(fileno(transfer.file)) == 0;
            closed = std::fclose(transfer.file) == 0 && closed;
        }
        if (transfer.writeFailed || !closed) return std::string("Cannot write " + partial.string());

        if (stopToken.stop_requested()) return std::string("Download of " + fileName + " cancelled");
        if (status == 404) return std::string("Model file not found: " + request.url + " (HTTP 404)");
        if (status == 416 && transfer.offset > 0) {
            // The kept bytes do not fit the file on the server: start over.
            std::filesystem::remove(partial, error);
            lastFailure = "the server rejected the resume request (HTTP 416)";
            continue;
        }
        if (status >= 400) {
            lastFailure = "HTTP " + std::to_string(status) + " from " + request.url;
            if (status >= 500) continue;
            return std::string("Model download failed: " + lastFailure);
        }
        if (result != CURLE_OK) {
            lastFailure = curl_easy_strerror(result);
            logLine("ModelDownloader: Download of " + fileName + " interrupted after " + std::to_string(fileSize(partial)) +
                    " bytes: " + lastFailure);
            continue;
        }
        lastFailure.clear();
        break;
    }
    if (!lastFailure.empty())
        return std::string("Download of " + fileName + " failed after " + std::to_string(kAttempts) + " attempts: " +
                           lastFailure + " (" + std::to_string(fileSize(partial)) + " bytes kept to resume)");

    const std::uint64_t size = fileSize(partial);
    if (request.expectedSize > 0 && size != request.expectedSize) {
        if (size > request.expectedSize) std::filesystem::remove(partial, error);
        return std::string("Downloaded " + fileName + " has " + std::to_string(size) + " bytes, expected " +
                           std::to_string(request.expectedSize));
    }
    if (!request.sha256.empty()) {
        const auto digest = sha256OfFile(partial);
        if (!digest || *digest != request.sha256) {
            std::filesystem::remove(partial, error);
            return std::string("Checksum mismatch for " + fileName + ": expected SHA-256 " + request.sha256 + ", got " +
                               digest.value_or("an unreadable file"));
        }
    }
    std::filesystem::rename(partial, request.destination, error);
    if (error) return std::string("Cannot move " + fileName + " into place: " + error.message());
    logLine("ModelDownloader: Downloaded " + fileName + " (" + megabytes(size) + ")");
    return outcome;
}

std::string modelRepositoryBaseUrl() {
    const char* override = std::getenv("QUONVERA_MODEL_BASE_URL");
    std::string base = override && *override ? override : kDefaultBaseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

}  // namespace quonvera
