#include "core/UnicodeText.h"

#include <gtest/gtest.h>

namespace quonvera {
namespace {

const std::string kDecomposedE = "e\xCC\x81";   // e + combining acute
const std::string kPrecomposedE = "\xC3\xA9";   // é
const std::string kFamily = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";  // 👨‍👩‍👧

TEST(UnicodeTextTest, DropsWholeCharactersAndKeepsTheRestAsItIs) {
    EXPECT_EQ(dropCharacters("Hello world.", 11), ".");
    EXPECT_EQ(dropCharacters(kFamily + " hi", 1), " hi");
    EXPECT_EQ(dropCharacters("caf" + kDecomposedE + "!", 4), "!");
    EXPECT_EQ(dropCharacters("abc", 5), "");
}

TEST(UnicodeTextTest, PrefixAndEqualityUseCanonicalEquivalence) {
    EXPECT_TRUE(hasCanonicalPrefix("caf" + kPrecomposedE + " au lait", "caf" + kDecomposedE));
    EXPECT_TRUE(canonicallyEqual("caf" + kPrecomposedE, "caf" + kDecomposedE));
    EXPECT_FALSE(hasCanonicalPrefix(kPrecomposedE, "e")) << "a base letter is not a prefix of its accented form";
    EXPECT_FALSE(hasCanonicalPrefix("Hi", "Hi there"));
    EXPECT_TRUE(hasCanonicalPrefix("anything", ""));
}

}  // namespace
}  // namespace quonvera
