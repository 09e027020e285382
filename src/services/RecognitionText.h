#pragma once

#include "platform/OnDeviceRecognizer.h"

#include <string>
#include <string_view>
#include <vector>

namespace quonvera {

// The segments' texts joined with single spaces, without leading and trailing whitespace and
// line breaks.
std::string joinRecognitionText(const std::vector<RecognitionSegment>& segments);

// `text` without leading and trailing whitespace and line breaks (Unicode White_Space).
std::string trimWhitespace(std::string_view text);

}  // namespace quonvera
