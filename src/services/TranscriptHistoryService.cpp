#include "services/TranscriptHistoryService.h"

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/MainQueue.h"
#include "models/TranscriptItemCoding.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <system_error>

namespace quonvera {
namespace fs = std::filesystem;

namespace {

constexpr fs::perms kPrivateFolder = fs::perms::owner_all;
constexpr fs::perms kPrivateFile = fs::perms::owner_read | fs::perms::owner_write;

bool existsWithoutFollowing(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// "transcript_history.unreadable-20261211T114838Z.json", with "-2", "-3", ... added when a
// file of that name is already there.
fs::path unreadableFileName(const fs::path& file) {
    const std::time_t now = WallClock::to_time_t(WallClock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string stem = file.stem().string() + ".unreadable-" + stamp;
    fs::path candidate = file.parent_path() / (stem + file.extension().string());
    for (int suffix = 2; existsWithoutFollowing(candidate); ++suffix)
        candidate = file.parent_path() / (stem + "-" + std::to_string(suffix) + file.extension().string());
    return candidate;
}

}  // namespace

TranscriptHistoryService::TranscriptHistoryService(MainQueue& mainQueue, const AppDirectories& directories)
    : mainQueue_(mainQueue) {
    if (directories.applicationSupport.empty()) return;  // no folder: an in-memory history only
    prepareFolder(directories);
    fileURL_ = directories.applicationSupport / kFileName;
    loadHistory();
}

void TranscriptHistoryService::prepareFolder(const AppDirectories& directories) {
    const fs::path& folder = directories.applicationSupport;
    std::error_code ignored;
    if (!directories.legacyApplicationSupport.empty() && existsWithoutFollowing(directories.legacyApplicationSupport) &&
        !existsWithoutFollowing(folder)) {
        fs::create_directories(folder.parent_path(), ignored);
        fs::rename(directories.legacyApplicationSupport, folder, ignored);
    }
    fs::create_directories(folder, ignored);
    // Transcripts are private, also when the folder or file came from an older release.
    fs::permissions(folder, kPrivateFolder, fs::perm_options::replace, ignored);
    const fs::path file = folder / kFileName;
    if (fs::is_regular_file(fs::symlink_status(file, ignored)))
        fs::permissions(file, kPrivateFile, fs::perm_options::replace, ignored);
}

void TranscriptHistoryService::loadHistory() {
    if (!existsWithoutFollowing(fileURL_)) return;
    std::string error;
    errno = 0;
    if (auto contents = readWholeFile(fileURL_)) {
        auto decoded = decodeTranscriptItems(*contents);
        if (decoded) {
            items = std::move(decoded.value());
            return;
        }
        error = decoded.error();
    } else {
        error = "cannot read " + fileURL_.string();
        if (errno != 0) error += std::string(": ") + std::strerror(errno);
    }
    logLine("TranscriptHistoryService: Failed to load history: " + error);
    moveUnreadableFileAside();
}

// The next change rewrites the history file, so an unreadable one is kept under another name
// for the user (or a later release) to recover from.
void TranscriptHistoryService::moveUnreadableFileAside() {
    const fs::path destination = unreadableFileName(fileURL_);
    std::error_code error;
    fs::rename(fileURL_, destination, error);
    if (error) {
        logLine("TranscriptHistoryService: Could not move the unreadable history file aside: " + error.message());
        return;
    }
    std::error_code ignored;
    if (fs::is_regular_file(fs::symlink_status(destination, ignored)))
        fs::permissions(destination, kPrivateFile, fs::perm_options::replace, ignored);
    logLine("TranscriptHistoryService: Moved the unreadable history file to " + destination.string());
}

void TranscriptHistoryService::saveHistory() {
    if (fileURL_.empty()) {
        logLine("TranscriptHistoryService: Failed to save history: no folder for application data");
        return;
    }
    writer_.write(fileURL_, encodeTranscriptItems(items.get()), 0600);
}

std::optional<TranscriptItem> TranscriptHistoryService::mostRecentItem() const {
    if (items.get().empty()) return std::nullopt;
    return items.get().front();
}

void TranscriptHistoryService::enqueue(std::function<void(TranscriptHistoryService&)> change) {
    mainQueue_.post([this, alive = std::weak_ptr<char>(lifetime_), change = std::move(change)] {
        if (alive.expired()) return;
        change(*this);
    });
}

void TranscriptHistoryService::addItem(const TranscriptItem& item) {
    enqueue([item](TranscriptHistoryService& self) {
        std::vector<TranscriptItem> updated;
        updated.reserve(std::min(self.items.get().size() + 1, maxItems));
        updated.push_back(item);
        for (const auto& existing : self.items.get()) {
            if (updated.size() == maxItems) break;
            updated.push_back(existing);
        }
        self.items = std::move(updated);
        self.saveHistory();
    });
}

void TranscriptHistoryService::deleteItem(const TranscriptItem& item) {
    enqueue([id = item.id](TranscriptHistoryService& self) {
        std::vector<TranscriptItem> remaining;
        remaining.reserve(self.items.get().size());
        for (const auto& existing : self.items.get())
            if (existing.id != id) remaining.push_back(existing);
        self.items = std::move(remaining);
        self.saveHistory();
    });
}

void TranscriptHistoryService::clearAll() {
    enqueue([](TranscriptHistoryService& self) {
        self.items = std::vector<TranscriptItem>{};
        self.saveHistory();
    });
}

}  // namespace quonvera
