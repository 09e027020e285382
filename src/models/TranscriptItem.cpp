#include "models/TranscriptItem.h"

#include "core/Uuid.h"

#include <utility>

namespace quonvera {

TranscriptItem TranscriptItem::create(std::string text, bool insertionSucceeded) {
    return TranscriptItem{makeUuidString(), WallClock::now(), std::move(text), insertionSucceeded};
}

}  // namespace quonvera
