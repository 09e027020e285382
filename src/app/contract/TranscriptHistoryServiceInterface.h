#pragma once

#include "models/TranscriptItem.h"

namespace quonvera {

// Keeps delivered transcripts. Main thread only.
class TranscriptHistoryServiceInterface {
public:
    virtual ~TranscriptHistoryServiceInterface() = default;
    // Queued: the item is stored by a block on the main queue.
    virtual void addItem(const TranscriptItem& item) = 0;
};

}  // namespace quonvera
