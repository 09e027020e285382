#pragma once

#include "core/ReferenceDate.h"

#include <string>

namespace quonvera {

// One delivered transcript in the history.
struct TranscriptItem {
    std::string id;  // canonical upper-case UUID
    WallTime timestamp;
    std::string text;
    bool insertionSucceeded = false;

    // A new entry with a fresh id, stamped with the current time.
    static TranscriptItem create(std::string text, bool insertionSucceeded);

    bool operator==(const TranscriptItem&) const = default;
};

}  // namespace quonvera
