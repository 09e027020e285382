#include "services/ClaudeEnhancementService.h"

#include <gtest/gtest.h>

namespace quonvera {
namespace {

const std::string head =
    "You are a transcription editor. Your task is to improve the following voice transcription.\n\nInstructions:\n";
const std::string middle =
    "\n\nImportant:\n- Preserve the original meaning exactly\n- Don't add or remove content\n"
    "- Don't add explanations or comments\n- Return only the improved text\n\nTranscription:\n";

struct PromptCase {
    const char* name;
    bool autoFormat;
    bool smartCorrections;
    std::vector<std::string> vocabulary;
    std::string transcript;
    std::string instructions;
};

class BuildPromptTest : public testing::TestWithParam<PromptCase> {};

TEST_P(BuildPromptTest, ComposesInstructionsAndTranscript) {
    const PromptCase& c = GetParam();
    EXPECT_EQ(ClaudeEnhancementService::buildPrompt(c.transcript, c.autoFormat, c.smartCorrections, c.vocabulary),
              head + c.instructions + middle + c.transcript);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildPromptTest,
    testing::Values(
        PromptCase{"autoFormatOnly", true, false, {}, "hello world",
                   "Fix punctuation, capitalization, and paragraph breaks."},
        PromptCase{"smartCorrectionsOnly", false, true, {}, "hello world",
                   "Correct any obvious transcription errors. Fix technical terms and proper nouns."},
        PromptCase{"noSwitchNoVocabulary", false, false, {}, "hello world",
                   "Clean up this transcription while preserving the original meaning."},
        PromptCase{"vocabularyAlone", false, false, {"Kubernetes"}, "hello world",
                   "Use correct spelling for these terms: Kubernetes."},
        PromptCase{"bothSwitchesAndTwoTerms", true, true, {"Quonvera", "gRPC"}, "hello world",
                   "Fix punctuation, capitalization, and paragraph breaks. Correct any obvious transcription "
                   "errors. Fix technical terms and proper nouns. Use correct spelling for these terms: "
                   "Quonvera, gRPC."},
        // Terms are used as stored: no trimming, no de-duplication.
        PromptCase{"termsAsStored", true, false, {" spaced ", "Rust", "Rust"}, "hello",
                   "Fix punctuation, capitalization, and paragraph breaks. Use correct spelling for these "
                   "terms:  spaced , Rust, Rust."},
        PromptCase{"transcriptWithNewlines", true, false, {}, "first line\nsecond line\n\nthird\n",
                   "Fix punctuation, capitalization, and paragraph breaks."},
        PromptCase{"emptyTranscript", false, true, {}, "",
                   "Correct any obvious transcription errors. Fix technical terms and proper nouns."}),
    [](const testing::TestParamInfo<PromptCase>& info) { return std::string(info.param.name); });

std::string repeat(const std::string& unit, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += unit;
    return text;
}

struct TokenCase {
    const char* name;
    std::string text;
    int expected;
};

class MaxTokensTest : public testing::TestWithParam<TokenCase> {};

TEST_P(MaxTokensTest, TwiceTheUserPerceivedCharactersAtLeastAThousand) {
    EXPECT_EQ(ClaudeEnhancementService::maxTokens(GetParam().text), GetParam().expected);
}

// "e" + combining acute accent: one character, two code points, three bytes.
const std::string decomposedE = "e\xCC\x81";
// Family emoji: one character made of five code points joined by zero-width joiners.
const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
// A flag: two regional indicators, one character.
const std::string flag = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";

INSTANTIATE_TEST_SUITE_P(
    Cases, MaxTokensTest,
    testing::Values(TokenCase{"empty", "", 1000}, TokenCase{"ascii500", repeat("a", 500), 1000},
                    TokenCase{"ascii501", repeat("a", 501), 1002}, TokenCase{"ascii800", repeat("a", 800), 1600},
                    TokenCase{"combining500", repeat(decomposedE, 500), 1000},
                    TokenCase{"combining501", repeat(decomposedE, 501), 1002},
                    TokenCase{"emoji800", repeat(family, 400) + repeat(flag, 400), 1600},
                    TokenCase{"crlfIsOneCharacter", repeat("ab\r\n", 267), 1602}),
    [](const testing::TestParamInfo<TokenCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quonvera
