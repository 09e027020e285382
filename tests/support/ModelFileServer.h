#pragma once

#include "support/TemporaryFolder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quonvera::test {

// An HTTP server on 127.0.0.1 serving the files of a folder (tests/support/model_file_server.py),
// with Range requests, 404 for missing files and an optional cut of the first response.
class ModelFileServer {
public:
    explicit ModelFileServer(std::optional<std::uint64_t> cutFirstResponseAfter = std::nullopt);
    ~ModelFileServer();
    ModelFileServer(const ModelFileServer&) = delete;
    ModelFileServer& operator=(const ModelFileServer&) = delete;

    // Empty when the server could not be started; `failure()` says why.
    const std::string& baseUrl() const { return baseUrl_; }
    const std::string& failure() const { return failure_; }
    const std::filesystem::path& root() const { return root_; }
    // One line per request received: "GET /name Range: bytes=N-".
    std::vector<std::string> requests() const;

private:
    TemporaryFolder folder_;
    std::filesystem::path root_;
    pid_t pid_ = -1;
    std::string baseUrl_;
    std::string failure_;
};

}  // namespace quonvera::test
