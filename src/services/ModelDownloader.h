#pragma once

#include "services/ModelDownloaderInterface.h"

#include <mutex>

namespace quonvera {

// Downloads model files over HTTP(S) with libcurl into "<destination>.partial", resuming an
// interrupted download with a Range request, then checks the size and SHA-256 and renames the file
// into place. Progress goes to the log at most once per second.
class ModelDownloader final : public ModelDownloaderInterface {
public:
    // Transfer attempts per call: a connection cut part-way is resumed this many times less one.
    static constexpr int kAttempts = 3;

    Result<ModelDownloadOutcome, std::string> download(const ModelDownload& request, std::stop_token stopToken) override;

    static std::filesystem::path partialPath(const std::filesystem::path& destination);

private:
    std::mutex mutex_;  // one download at a time: two transfers must never share a partial file
};

// The model repository to download from: $QUONVERA_MODEL_BASE_URL, else the public whisper.cpp
// model repository.
std::string modelRepositoryBaseUrl();

}  // namespace quonvera
