#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quonvera {

// Counting in a UTF-8 text. A "character" is what the user perceives as one (an extended
// grapheme cluster: "e" with a combining accent, a flag, a family emoji), which is also what one
// Backspace removes in ordinary text fields. Invalid bytes count as one character each.
std::int64_t characterCount(std::string_view utf8);

// The first `count` characters of `utf8` (all of it when it has fewer).
std::string firstCharacters(std::string_view utf8, std::int64_t count);

// Unicode code points, the unit of the desktop's accessibility text offsets.
std::int64_t codePointCount(std::string_view utf8);

// The byte offset of code point number `index`, clamped to the end of the text.
std::size_t byteOffsetOfCodePoint(std::string_view utf8, std::int64_t index);

}  // namespace quonvera
