#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>

namespace quonvera {

// Replaces files atomically on a worker thread of its own, so that the flush to disk (often
// more than a frame) never runs on the main thread. A change to a path replaces any change of
// that path still waiting: a burst of edits costs one flush, and the file always ends with the
// latest contents. Destroying the writer finishes every waiting change.
class BackgroundFileWriter {
public:
    // `logPrefix` starts the log line written when a change fails ("ClassName: Failed to save").
    explicit BackgroundFileWriter(std::string logPrefix);
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter&) = delete;
    BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

    void write(const std::filesystem::path& path, std::string contents, mode_t mode = 0600);
    void remove(const std::filesystem::path& path);
    // Waits until every change asked for so far has been carried out.
    void flush();

private:
    struct Change {
        std::optional<std::string> contents;  // none: remove the file
        mode_t mode = 0600;
    };
    void run();

    std::string logPrefix_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::filesystem::path, Change> waiting_;
    std::uint64_t requested_ = 0;
    std::uint64_t completed_ = 0;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace quonvera
