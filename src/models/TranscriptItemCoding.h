#pragma once

#include "core/Result.h"
#include "models/TranscriptItem.h"

#include <string>
#include <string_view>
#include <vector>

namespace quonvera {

// The history file: one compact JSON array of entries, each with the members id, timestamp
// (seconds since 2001-01-01 UTC), text and insertionSucceeded, written in that order.
std::string encodeTranscriptItems(const std::vector<TranscriptItem>& items);

// Reads a history file in any member order, ignoring unknown members. Every entry needs all
// four members with their JSON types and a valid UUID; one bad entry fails the whole list,
// and the error text says which entry and why. Ids come back in upper case.
Result<std::vector<TranscriptItem>, std::string> decodeTranscriptItems(std::string_view text);

}  // namespace quonvera
