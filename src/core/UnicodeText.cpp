#include "core/UnicodeText.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace quonvera {
namespace {

// Character boundaries of `text` as UTF-16 offsets, starting with 0 and ending with its length.
std::vector<int32_t> characterBoundaries(const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    std::vector<int32_t> boundaries{0};
    if (U_FAILURE(status)) {
        // Without break rules every code point counts as one character.
        for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) boundaries.push_back(text.moveIndex32(i, 1));
        return boundaries;
    }
    iterator->setText(text);
    for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; end = iterator->next()) boundaries.push_back(end);
    return boundaries;
}

icu::UnicodeString composed(std::string_view utf8) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString normalized = nfc->normalize(text, status);
    return U_SUCCESS(status) ? normalized : text;
}

}  // namespace

std::vector<std::string> canonicalCharacters(std::string_view utf8) {
    const icu::UnicodeString text = composed(utf8);
    const auto boundaries = characterBoundaries(text);
    std::vector<std::string> characters;
    characters.reserve(boundaries.size() - 1);
    for (std::size_t i = 1; i < boundaries.size(); ++i) {
        std::string character;
        text.tempSubStringBetween(boundaries[i - 1], boundaries[i]).toUTF8String(character);
        characters.push_back(std::move(character));
    }
    return characters;
}

std::string dropCharacters(std::string_view utf8, std::size_t count) {
    return std::string(utf8.substr(firstCharacters(utf8, static_cast<std::int64_t>(count)).size()));
}

bool hasCanonicalPrefix(std::string_view text, std::string_view prefix) {
    const auto characters = canonicalCharacters(text);
    const auto prefixCharacters = canonicalCharacters(prefix);
    if (prefixCharacters.size() > characters.size()) return false;
    for (std::size_t i = 0; i < prefixCharacters.size(); ++i)
        if (characters[i] != prefixCharacters[i]) return false;
    return true;
}

bool canonicallyEqual(std::string_view a, std::string_view b) { return composed(a) == composed(b); }

}  // namespace quonvera
