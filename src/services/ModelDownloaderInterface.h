#pragma once

#include "core/Result.h"

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>

namespace quonvera {

// One model file to fetch.
struct ModelDownload {
    std::string url;
    std::filesystem::path destination;
    std::uint64_t expectedSize = 0;  // 0: take the server's word
    std::string sha256;              // lower-case hex; empty: not checked
};

struct ModelDownloadOutcome {
    bool alreadyPresent = false;
    std::uint64_t resumedFrom = 0;  // bytes kept from an earlier interrupted download
};

// Fetches model files into place: never leaves a partial or unverified file at the destination.
// Blocks; called from a background task. A stop request ends it promptly, keeping what arrived.
class ModelDownloaderInterface {
public:
    virtual ~ModelDownloaderInterface() = default;
    virtual Result<ModelDownloadOutcome, std::string> download(const ModelDownload& request, std::stop_token stopToken) = 0;
};

}  // namespace quonvera
