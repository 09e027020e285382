#pragma once

#include "core/TextCharacters.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quonvera {

// Canonical equivalence of texts, on top of the character counting of TextCharacters.h.

// User-perceived characters (extended grapheme clusters) of a UTF-8 text, each in canonical
// composed form (NFC), so that a precomposed and a decomposed accented letter compare equal.
std::vector<std::string> canonicalCharacters(std::string_view utf8);

// The text without its first `count` user-perceived characters, otherwise unchanged.
std::string dropCharacters(std::string_view utf8, std::size_t count);

// Whether `text` begins with the characters of `prefix`, compared character by character with
// canonical equivalence.
bool hasCanonicalPrefix(std::string_view text, std::string_view prefix);

// Whether two texts are canonically equivalent.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace quonvera
