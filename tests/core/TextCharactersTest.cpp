#include "core/TextCharacters.h"

#include <gtest/gtest.h>

#include <string>

namespace quonvera {
namespace {

struct CountCase {
    std::string text;
    std::int64_t characters;
    std::int64_t codePoints;
};

TEST(TextCharactersTest, CountsUserPerceivedCharactersAndCodePoints) {
    const CountCase cases[] = {
        {"", 0, 0},
        {"hello", 5, 5},
        {"h\u00E9", 2, 2},                                           // precomposed é
        {"he\u0301", 2, 3},                                          // e + combining acute
        {"a\u0308\u0304", 1, 3},                                     // two combining marks
        {"\U0001F600", 1, 1},                                        // emoji outside the BMP
        {"\U0001F44D\U0001F3FD", 1, 2},                              // emoji with skin tone
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467", 1, 5},        // family (ZWJ sequence)
        {"\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", 2, 4},          // two flags
        {"\r\n", 1, 2},
        {"\xFF\xFE", 2, 2},                                          // invalid bytes count one each
    };
    for (const auto& c : cases) {
        EXPECT_EQ(characterCount(c.text), c.characters) << c.text;
        EXPECT_EQ(codePointCount(c.text), c.codePoints) << c.text;
    }
}

TEST(TextCharactersTest, FirstCharactersNeverSplitsACharacter) {
    EXPECT_EQ(firstCharacters("he\u0301llo", 2), "he\u0301");
    EXPECT_EQ(firstCharacters("\U0001F44D\U0001F3FDx", 1), "\U0001F44D\U0001F3FD");
    EXPECT_EQ(firstCharacters("abc", 10), "abc");
    EXPECT_EQ(firstCharacters("abc", 0), "");
    EXPECT_EQ(firstCharacters("", 3), "");
}

TEST(TextCharactersTest, ByteOffsetOfCodePointClampsToTheEnd) {
    const std::string text = "a\u00E9\U0001F600b";  // 1 + 2 + 4 + 1 bytes
    EXPECT_EQ(byteOffsetOfCodePoint(text, 0), 0u);
    EXPECT_EQ(byteOffsetOfCodePoint(text, 2), 3u);
    EXPECT_EQ(byteOffsetOfCodePoint(text, 3), 7u);
    EXPECT_EQ(byteOffsetOfCodePoint(text, 4), 8u);
    EXPECT_EQ(byteOffsetOfCodePoint(text, 99), 8u);
}

}  // namespace
}  // namespace quonvera
