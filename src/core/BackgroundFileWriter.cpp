#include "core/BackgroundFileWriter.h"

#include "core/AtomicFile.h"
#include "core/Log.h"

#include <system_error>

namespace quonvera {

BackgroundFileWriter::BackgroundFileWriter(std::string logPrefix)
    : logPrefix_(std::move(logPrefix)), worker_([this] { run(); }) {}

BackgroundFileWriter::~BackgroundFileWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void BackgroundFileWriter::write(const std::filesystem::path& path, std::string contents, mode_t mode) {
    {
        std::lock_guard lock(mutex_);
        waiting_[path] = Change{std::move(contents), mode};
        ++requested_;
    }
    changed_.notify_all();
}

void BackgroundFileWriter::remove(const std::filesystem::path& path) {
    {
        std::lock_guard lock(mutex_);
        waiting_[path] = Change{std::nullopt, 0};
        ++requested_;
    }
    changed_.notify_all();
}

void BackgroundFileWriter::flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = requested_;
    changed_.wait(lock, [&] { return completed_ >= target; });
}

void BackgroundFileWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) return;  // stopping, and everything is written
        auto node = waiting_.extract(waiting_.begin());
        const std::uint64_t covered = requested_;
        lock.unlock();
        const auto& change = node.mapped();
        if (change.contents) {
            if (auto error = writeFileAtomically(node.key(), *change.contents, change.mode))
                logLine(logPrefix_ + ": " + *error);
        } else {
            std::error_code ignored;
            std::filesystem::remove(node.key(), ignored);
        }
        lock.lock();
        // Every request made before this change was taken is done once nothing else waits.
        if (waiting_.empty()) completed_ = std::max(completed_, covered);
        changed_.notify_all();
    }
}

}  // namespace quonvera
