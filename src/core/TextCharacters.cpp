#include "core/TextCharacters.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <memory>

namespace quonvera {
namespace {

// Calls `onBoundary(byteOffset)` for each grapheme boundary after the start, in order, until it
// returns false. Returns false when ICU could not segment the text.
template <typename OnBoundary>
bool forEachCharacterEnd(std::string_view utf8, OnBoundary onBoundary) {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created{
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status)};
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    if (!iterator) {
        return false;
    }
    if (utf8.empty()) {
        return true;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText text = UTEXT_INITIALIZER;
    utext_openUTF8(&text, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    if (U_SUCCESS(status)) {
        iterator->setText(&text, status);  // keeps its own shallow clone, used only until here
    }
    const bool ok = U_SUCCESS(status);
    if (ok) {
        for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; end = iterator->next()) {
            if (!onBoundary(static_cast<std::size_t>(end))) {
                break;
            }
        }
    }
    utext_close(&text);
    return ok;
}

}  // namespace

std::int64_t characterCount(std::string_view utf8) {
    std::int64_t count = 0;
    if (!forEachCharacterEnd(utf8, [&](std::size_t) {
            ++count;
            return true;
        })) {
        return codePointCount(utf8);
    }
    return count;
}

std::string firstCharacters(std::string_view utf8, std::int64_t count) {
    if (count <= 0) {
        return {};
    }
    std::size_t cut = utf8.size();
    std::int64_t seen = 0;
    if (!forEachCharacterEnd(utf8, [&](std::size_t end) {
            if (++seen == count) {
                cut = end;
                return false;
            }
            return true;
        })) {
        cut = byteOffsetOfCodePoint(utf8, count);
    }
    return std::string(utf8.substr(0, cut));
}

std::int64_t codePointCount(std::string_view utf8) {
    std::int64_t count = 0;
    const auto length = static_cast<int32_t>(utf8.size());
    for (int32_t i = 0; i < length; ++count) {
        U8_FWD_1(utf8.data(), i, length);
    }
    return count;
}

std::size_t byteOffsetOfCodePoint(std::string_view utf8, std::int64_t index) {
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t offset = 0;
    for (std::int64_t i = 0; i < index && offset < length; ++i) {
        U8_FWD_1(utf8.data(), offset, length);
    }
    return static_cast<std::size_t>(offset);
}

}  // namespace quonvera
