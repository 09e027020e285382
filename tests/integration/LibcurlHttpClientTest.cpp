// The libcurl HTTP client against the cloud-service stand-in over loopback.
#include "support/CloudServiceStandInTest.h"
#include "platform/linux/LibcurlHttpClient.h"

#include "support/CloudServiceStandIn.h"

#include <gtest/gtest.h>

namespace quonvera {
namespace {

class LibcurlHttpClientTest : public test::CloudServiceStandInTest {};

TEST_F(LibcurlHttpClientTest, SendsTheGivenHeadersAndReturnsTheAnswerAsIs) {
    standIn->script("/probe", {{418, "short and stout", {{"X-Kind", "teapot"}}, 0, false}});
    HttpRequest request;
    request.method = "PUT";
    request.url = standIn->baseUrl() + "/probe";
    request.headers = {{"X-One", "1"}, {"Content-Type", "text/plain"}};
    request.body = std::string("a\0b", 3);
    auto response = http.send(request, {});
    ASSERT_TRUE(response.ok()) << response.error().message;
    EXPECT_EQ(response.value().statusCode, 418);
    EXPECT_EQ(response.value().body, "short and stout");
    EXPECT_EQ(response.value().header("x-kind"), "teapot");

    const auto requests = standIn->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "PUT");
    EXPECT_EQ(requests[0].body, std::string("a\0b", 3));
    EXPECT_EQ(requests[0].header("X-One"), "1");
    EXPECT_FALSE(requests[0].header("Accept"));
    EXPECT_FALSE(requests[0].header("User-Agent"));
}

TEST_F(LibcurlHttpClientTest, OnlyHttpAndHttpsAreSpoken) {
    for (const std::string url : {"file:///etc/hostname", "ftp://127.0.0.1/x", "gopher://127.0.0.1/x"}) {
        HttpRequest request;
        request.url = url;
        auto response = http.send(request, {});
        ASSERT_FALSE(response.ok()) << url;
        EXPECT_EQ(response.error().kind, HttpError::Kind::failed) << url;
    }
}

TEST_F(LibcurlHttpClientTest, AStopRequestedBeforeTheStartSendsNothing) {
    std::stop_source stop;
    stop.request_stop();
    HttpRequest request;
    request.url = standIn->baseUrl() + "/api/transcribe";
    auto response = http.send(request, stop.get_token());
    ASSERT_FALSE(response.ok());
    EXPECT_EQ(response.error().kind, HttpError::Kind::cancelled);
    EXPECT_TRUE(standIn->requests().empty());
}

}  // namespace
}  // namespace quonvera
