// The enhancement client against the cloud-service stand-in over loopback.
#include "support/CloudServiceStandInTest.h"
#include "services/ClaudeEnhancementService.h"

#include "platform/linux/LibcurlHttpClient.h"
#include "support/CloudServiceStandIn.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

namespace quonvera {
namespace {

using namespace std::chrono_literals;
using Kind = EnhancementError::Kind;
using test::StandInResponse;

const std::string installId = "0F3A52C1-7B8D-4E9F-A0B1-C2D3E4F5A6B7";

class ClaudeEnhancementServiceTest : public test::CloudServiceStandInTest {};

TEST_F(ClaudeEnhancementServiceTest, PostsThePromptAndTokenBudgetAsJson) {
    standIn->script("/api/enhance", {{200, R"({"text":"Meet me at 5 p.m."})", {}, 0, false}});
    ClaudeEnhancementService service(http, installId, standIn->baseUrl());
    const std::string transcript = "meet me at five pm\nok";
    auto result = service.enhance(transcript, true, false, {"Quonvera"}, {});
    ASSERT_TRUE(result.ok()) << result.error().description();
    EXPECT_EQ(result.value(), "Meet me at 5 p.m.");

    const auto requests = standIn->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/api/enhance");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].header("X-Install-ID"), installId);
    EXPECT_FALSE(requests[0].header("Authorization"));
    const auto body = nlohmann::json::parse(requests[0].body);
    EXPECT_EQ(body, (nlohmann::json{{"prompt", ClaudeEnhancementService::buildPrompt(transcript, true, false, {"Quonvera"})},
                                    {"max_tokens", 1000}}));
    EXPECT_EQ(requests[0].body, body.dump()) << "compact output";
}

TEST_F(ClaudeEnhancementServiceTest, TokenBudgetFollowsTheTranscriptLength) {
    ClaudeEnhancementService service(http, installId, standIn->baseUrl());
    // 800 user-perceived characters, each "e" plus a combining accent.
    std::string transcript;
    for (int i = 0; i < 800; ++i) transcript += "e\xCC\x81";
    ASSERT_TRUE(service.enhance(transcript, false, true, {}, {}).ok());
    const auto requests = standIn->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(requests[0].body).at("max_tokens"), 1600);
}

struct ResponseCase {
    const char* name;
    StandInResponse response;
    std::optional<std::string> text;
    Kind kind;
    int statusCode;
};

class EnhancementResponseTest : public ClaudeEnhancementServiceTest,
                                public testing::WithParamInterface<ResponseCase> {};

TEST_P(EnhancementResponseTest, MapsTheResponseWithoutRetrying) {
    const ResponseCase& c = GetParam();
    standIn->script("/api/enhance", {c.response}, StandInResponse{200, R"({"text":"second try"})", {}, 0, false});
    ClaudeEnhancementService service(http, installId, standIn->baseUrl());
    auto result = service.enhance("some words", true, true, {}, {});
    if (c.text) {
        ASSERT_TRUE(result.ok()) << result.error().description();
        EXPECT_EQ(result.value(), *c.text);
    } else {
        ASSERT_FALSE(result.ok()) << result.value();
        EXPECT_EQ(result.error().kind, c.kind) << result.error().description();
        EXPECT_EQ(result.error().statusCode, c.statusCode);
    }
    EXPECT_EQ(standIn->requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnhancementResponseTest,
    testing::Values(
        ResponseCase{"textUnchanged", {200, R"({"text":"  Kept as is.\n","model":"x"})", {}, 0, false},
                     "  Kept as is.\n", {}, 0},
        ResponseCase{"emptyText", {200, R"({"text":""})", {}, 0, false}, std::nullopt, Kind::emptyResponse, 0},
        ResponseCase{"notJson", {200, "Internal proxy page", {}, 0, false}, std::nullopt, Kind::decodingError, 0},
        ResponseCase{"noText", {204, "", {}, 0, false}, std::nullopt, Kind::decodingError, 0},
        ResponseCase{"serverError", {500, R"({"text":"ignored"})", {}, 0, false}, std::nullopt, Kind::serverError, 500},
        ResponseCase{"rateLimitedIsAServerError", {429, "", {}, 0, false}, std::nullopt, Kind::serverError, 429},
        ResponseCase{"redirectNotFollowed", {301, "", {{"Location", "http://example.com/api/enhance"}}, 0, false},
                     std::nullopt, Kind::serverError, 301},
        ResponseCase{"connectionDropped", {200, "", {}, 0, true}, std::nullopt, Kind::networkError, 0}),
    [](const testing::TestParamInfo<ResponseCase>& info) { return std::string(info.param.name); });

TEST_F(ClaudeEnhancementServiceTest, ErrorDescriptions) {
    standIn->script("/api/enhance", {{500, "", {}, 0, false}});
    ClaudeEnhancementService service(http, installId, standIn->baseUrl());
    EXPECT_EQ(service.enhance("x", true, false, {}, {}).error().description(), "Server error (code 500).");
    EXPECT_EQ((EnhancementError{Kind::emptyResponse, {}, 0}.description()), "AI returned empty response.");
    EXPECT_EQ((EnhancementError{Kind::decodingError, {}, 0}.description()), "Failed to process AI response.");
}

TEST_F(ClaudeEnhancementServiceTest, RefusesPlainHttpToAnotherHost) {
    ClaudeEnhancementService service(http, installId, "http://example.com");
    auto result = service.enhance("words", true, false, {}, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::networkError);
    EXPECT_EQ(result.error().description(), "Network error: unsupported URL");
}

TEST_F(ClaudeEnhancementServiceTest, StoppingDuringTheRequestEndsItPromptly) {
    standIn->script("/api/enhance", {{200, R"({"text":"too late"})", {}, 10.0, false}});
    ClaudeEnhancementService service(http, installId, standIn->baseUrl());
    std::stop_source stop;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    auto result = service.enhance("words", true, false, {}, stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::networkError);
}

}  // namespace
}  // namespace quonvera
