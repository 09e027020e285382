#pragma once

#include "core/BackgroundFileWriter.h"
#include "app/contract/TranscriptHistoryServiceInterface.h"
#include "core/Published.h"
#include "platform/AppDirectories.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quonvera {

class MainQueue;

// The history of delivered transcripts, newest first, at most `maxItems` entries. The list is
// read from the history file once, at construction; afterwards the in-memory list is the truth
// and every change rewrites the whole file. Changes are queued on the main queue and applied
// there in the order they were requested. Main thread only.
class TranscriptHistoryService final : public TranscriptHistoryServiceInterface {
public:
    static constexpr std::size_t maxItems = 100;
    static constexpr const char* kFileName = "transcript_history.json";

    TranscriptHistoryService(MainQueue& mainQueue, const AppDirectories& directories);
    TranscriptHistoryService(const TranscriptHistoryService&) = delete;
    TranscriptHistoryService& operator=(const TranscriptHistoryService&) = delete;

    // The history, newest first. Observers hear of each change before it is stored.
    Published<std::vector<TranscriptItem>> items;

    std::optional<TranscriptItem> mostRecentItem() const;
    const std::filesystem::path& fileURL() const { return fileURL_; }
    // The file is rewritten on a background writer; this waits until it holds every change.
    void flush() { writer_.flush(); }

    void addItem(const TranscriptItem& item) override;
    // Removes every entry with the item's id; the file is rewritten even when none matched.
    void deleteItem(const TranscriptItem& item);
    void clearAll();

private:
    void prepareFolder(const AppDirectories& directories);
    void loadHistory();
    void moveUnreadableFileAside();
    void saveHistory();
    // Posts `change` to run on the main queue only while this service still exists.
    void enqueue(std::function<void(TranscriptHistoryService&)> change);

    MainQueue& mainQueue_;
    std::filesystem::path fileURL_;
    std::shared_ptr<char> lifetime_ = std::make_shared<char>();
    BackgroundFileWriter writer_{"TranscriptHistoryService: Failed to save history"};
};

}  // namespace quonvera
