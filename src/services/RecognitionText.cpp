#include "services/RecognitionText.h"

#include <cstdint>

namespace quonvera {
namespace {

bool isWhitespace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes the UTF-8 character starting at `at`; `length` receives its byte count. Invalid bytes
// decode as themselves (never whitespace).
char32_t decodeAt(std::string_view text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t count = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (at + count > text.size()) count = 1;
    length = count;
    if (count == 1) return lead < 0x80 ? lead : 0xFFFD;
    char32_t c = lead & (0x7F >> count);
    for (std::size_t i = 1; i < count; ++i) c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    return c;
}

// The start of the UTF-8 character that ends just before `end`.
std::size_t previousStart(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    return start;
}

}  // namespace

std::string trimWhitespace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t length = 0;
        if (!isWhitespace(decodeAt(text, begin, length))) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const std::size_t start = previousStart(text, end);
        std::size_t length = 0;
        if (!isWhitespace(decodeAt(text, start, length)) || start + length != end) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string joinRecognitionText(const std::vector<RecognitionSegment>& segments) {
    std::string joined;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) joined += ' ';
        joined += segments[i].text;
    }
    return trimWhitespace(joined);
}

}  // namespace quonvera
