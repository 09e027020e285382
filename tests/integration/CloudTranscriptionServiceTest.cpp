// The cloud transcription client against the cloud-service stand-in over loopback.
#include "support/CloudServiceStandInTest.h"
#include "services/CloudTranscriptionService.h"

#include "core/BackgroundTasks.h"
#include "core/Log.h"
#include "core/Uuid.h"
#include "platform/fake/FakeNetworkMonitor.h"
#include "platform/linux/LibcurlHttpClient.h"
#include "support/CloudServiceStandIn.h"
#include "support/TemporaryFolder.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <set>
#include <sstream>
#include <thread>

namespace quonvera {
namespace {

using namespace std::chrono_literals;
using Kind = CloudTranscriptionError::Kind;
using test::StandInResponse;

const std::string installId = "3B2C7A4E-9F1D-4E8B-A6C5-0D1E2F3A4B5C";

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// A short recording in the recorder's format: 16000 Hz, mono, 32-bit float WAVE.
void writeRecording(const std::filesystem::path& path, int frames) {
    SF_INFO info{};
    info.samplerate = 16000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) samples[static_cast<size_t>(i)] = 0.5f * std::sin(i * 0.05f);
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

std::string expectedForm(const std::string& audio, const std::string& boundary) {
    return "--" + boundary +
           "\r\n"
           "Content-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n"
           "Content-Type: audio/wav\r\n"
           "\r\n" +
           audio + "\r\n" + "--" + boundary +
           "\r\n"
           "Content-Disposition: form-data; name=\"model\"\r\n"
           "\r\n"
           "gpt-4o-transcribe\r\n"
           "--" + boundary +
           "\r\n"
           "Content-Disposition: form-data; name=\"prompt\"\r\n"
           "\r\n"
           "Transcribe accurately with proper punctuation and capitalization.\r\n"
           "--" + boundary + "--\r\n";
}

StandInResponse status(int code, std::string body = "") { return {code, std::move(body), {}, 0, false}; }
StandInResponse text(const std::string& transcript) { return status(200, "{\"text\":\"" + transcript + "\"}"); }

class CloudTranscriptionServiceTest : public test::CloudServiceStandInTest {
protected:
    void SetUp() override {
        CloudServiceStandInTest::SetUp();
        recording = folder / "brem_recording_1765400000.wav";
        writeRecording(recording, 1600);
    }

    std::unique_ptr<CloudTranscriptionService> makeService(const std::string& baseUrl) {
        auto monitor = std::make_unique<FakeNetworkMonitor>();
        network = monitor.get();
        return std::make_unique<CloudTranscriptionService>(
            http, std::move(monitor), installId, baseUrl, [this](Duration wait, std::stop_token token) {
                waits.push_back(wait);
                return onSleep ? onSleep(wait, token) : true;
            });
    }
    std::unique_ptr<CloudTranscriptionService> makeService() { return makeService(standIn->baseUrl()); }


    FakeNetworkMonitor* network = nullptr;
    std::vector<Duration> waits;
    std::function<bool(Duration, std::stop_token)> onSleep;
    test::TemporaryFolder folder;
    std::filesystem::path recording;
};

TEST_F(CloudTranscriptionServiceTest, OneAttemptPostsTheExactFormAndHeaders) {
    standIn->script("/api/transcribe", {text("Hello, world.")});
    auto service = makeService();
    auto result = service->transcribe(recording, {});
    ASSERT_TRUE(result.ok()) << result.error().description();
    EXPECT_EQ(result.value(), "Hello, world.");

    const auto requests = standIn->requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/transcribe");
    EXPECT_EQ(request.header("X-Install-ID"), installId);

    const std::string contentType = request.header("Content-Type").value_or("");
    const std::string prefix = "multipart/form-data; boundary=";
    ASSERT_TRUE(contentType.starts_with(prefix)) << contentType;
    const std::string boundary = contentType.substr(prefix.size());
    EXPECT_TRUE(isUuidString(boundary)) << boundary;
    EXPECT_EQ(boundary.find_first_of("abcdef"), std::string::npos) << boundary;

    EXPECT_EQ(request.body, expectedForm(readBytes(recording), boundary));
    EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
    // Nothing but what the form and HTTP need: no authentication, no client extras.
    std::vector<std::string> names;
    for (const auto& [name, value] : request.headers) names.push_back(name);
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Content-Length", "Content-Type", "Host", "X-Install-ID"}));
}

TEST_F(CloudTranscriptionServiceTest, ThirtySecondRecordingArrivesWhole) {
    writeRecording(recording, 16000 * 30);
    auto service = makeService();
    ASSERT_TRUE(service->transcribe(recording, {}).ok());
    const auto requests = standIn->requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string contentType = requests[0].header("Content-Type").value_or("");
    EXPECT_EQ(requests[0].body, expectedForm(readBytes(recording), contentType.substr(contentType.find('=') + 1)));
    EXPECT_GT(requests[0].body.size(), 1'900'000u);
    EXPECT_FALSE(requests[0].header("Expect")) << "no 100-continue round trip";
}

TEST_F(CloudTranscriptionServiceTest, EveryAttemptHasAFreshBoundary) {
    standIn->script("/api/transcribe", {status(503), status(503), text("third time")});
    auto service = makeService();
    ASSERT_TRUE(service->transcribe(recording, {}).ok());
    const auto requests = standIn->requests();
    ASSERT_EQ(requests.size(), 3u);
    std::set<std::string> boundaries;
    for (const auto& request : requests) {
        const std::string contentType = request.header("Content-Type").value_or("");
        const std::string boundary = contentType.substr(contentType.find('=') + 1);
        boundaries.insert(boundary);
        EXPECT_EQ(request.body, expectedForm(readBytes(recording), boundary));
    }
    EXPECT_EQ(boundaries.size(), 3u);
}

struct RetryCase {
    const char* name;
    std::vector<StandInResponse> responses;
    std::optional<std::string> transcript;  // the text returned, or else...
    CloudTranscriptionError error;          // ...the error
    size_t requests;
    std::vector<Duration> waits;
    std::vector<std::string> log;  // lines starting "CloudTranscriptionService: " (prefix match)
};

class CloudTranscriptionRetryTest : public CloudTranscriptionServiceTest,
                                    public testing::WithParamInterface<RetryCase> {};

TEST_P(CloudTranscriptionRetryTest, RetriesOnlyTransientFailures) {
    const RetryCase& c = GetParam();
    standIn->script("/api/transcribe", c.responses);
    LogCapture log;
    auto service = makeService();
    auto result = service->transcribe(recording, {});

    if (c.transcript) {
        ASSERT_TRUE(result.ok()) << result.error().description();
        EXPECT_EQ(result.value(), *c.transcript);
    } else {
        ASSERT_FALSE(result.ok()) << result.value();
        EXPECT_EQ(result.error().kind, c.error.kind) << result.error().description();
        EXPECT_EQ(result.error().statusCode, c.error.statusCode);
    }
    EXPECT_EQ(standIn->requests().size(), c.requests);
    EXPECT_EQ(waits, c.waits);
    const auto lines = log.linesStartingWith("CloudTranscriptionService: ");
    ASSERT_EQ(lines.size(), c.log.size()) << testing::PrintToString(lines);
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_TRUE(lines[i].starts_with(c.log[i])) << lines[i];
}

const std::string attempt1After1 = "CloudTranscriptionService: Attempt 1 failed, retrying in 1s...";
const std::string attempt2After2 = "CloudTranscriptionService: Attempt 2 failed, retrying in 2s...";

INSTANTIATE_TEST_SUITE_P(
    Cases, CloudTranscriptionRetryTest,
    testing::Values(
        RetryCase{"serverErrorsThenText", {status(503), status(503), text("Finally.")}, "Finally.", {},
                  3, {1s, 2s}, {attempt1After1, attempt2After2}},
        RetryCase{"rateLimitedEveryTime", {status(429), status(429), status(429)}, std::nullopt,
                  {Kind::rateLimited, {}, 0}, 3, {2s, 4s},
                  {"CloudTranscriptionService: Attempt 1 failed, retrying in 2s...",
                   "CloudTranscriptionService: Attempt 2 failed, retrying in 4s..."}},
        RetryCase{"rateLimitedOnlySecond", {status(500), status(429), text("ok")}, "ok", {}, 3, {1s, 4s},
                  {attempt1After1, "CloudTranscriptionService: Attempt 2 failed, retrying in 4s..."}},
        RetryCase{"emptyText", {status(200, R"({"text":""})")}, std::nullopt,
                  {Kind::noTranscriptionReturned, {}, 0}, 1, {}, {}},
        RetryCase{"bodyNotJson", {status(200, "<html>gateway</html>")}, std::nullopt,
                  {Kind::decodingError, {}, 0}, 1, {}, {"CloudTranscriptionService: Failed to decode response: "}},
        RetryCase{"textMissing", {status(200, R"({"transcript":"hi"})")}, std::nullopt,
                  {Kind::decodingError, {}, 0}, 1, {}, {"CloudTranscriptionService: Failed to decode response: "}},
        RetryCase{"textNotAString", {status(200, R"({"text":42})")}, std::nullopt,
                  {Kind::decodingError, {}, 0}, 1, {}, {"CloudTranscriptionService: Failed to decode response: "}},
        RetryCase{"otherMembersIgnored", {status(201, R"({"text":" as is \n","language":"en"})")}, " as is \n",
                  {}, 1, {}, {}},
        RetryCase{"clientErrorRetriedLikeAnyStatus", {status(400), status(400), status(400)}, std::nullopt,
                  {Kind::serverError, {}, 400}, 3, {1s, 2s}, {attempt1After1, attempt2After2}},
        // A redirect is never followed, least of all to plain HTTP.
        RetryCase{"redirectNotFollowed",
                  {{302, "", {{"Location", "http://example.com/api/transcribe"}}, 0, false},
                   {307, "", {{"Location", "/elsewhere"}}, 0, false},
                   status(404)},
                  std::nullopt, {Kind::serverError, {}, 404}, 3, {1s, 2s}, {attempt1After1, attempt2After2}},
        RetryCase{"connectionDropped",
                  {{200, "", {}, 0, true}, {200, "", {}, 0, true}, text("back")}, "back", {}, 3, {1s, 2s},
                  {attempt1After1, attempt2After2}}),
    [](const testing::TestParamInfo<RetryCase>& info) { return std::string(info.param.name); });

TEST_F(CloudTranscriptionServiceTest, MissingRecordingFailsThreeTimesWithoutSendingAnything) {
    LogCapture log;
    auto service = makeService();
    auto result = service->transcribe(folder / "brem_recording_0.wav", {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::networkError);
    EXPECT_NE(result.error().description().find("brem_recording_0.wav"), std::string::npos)
        << result.error().description();
    EXPECT_TRUE(standIn->requests().empty());
    EXPECT_EQ(waits, (std::vector<Duration>{1s, 2s}));
    EXPECT_EQ(log.linesStartingWith("CloudTranscriptionService: Attempt").size(), 2u);
}

TEST_F(CloudTranscriptionServiceTest, OfflineBeforeTheCallSendsNothing) {
    LogCapture log;
    auto service = makeService();
    network->setConnected(false);
    EXPECT_TRUE(log.contains("CloudTranscriptionService: Network status changed - connected: false"));
    EXPECT_FALSE(service->isConnected());

    auto result = service->transcribe(recording, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::offline);
    EXPECT_TRUE(standIn->requests().empty());
    EXPECT_TRUE(waits.empty());

    network->setConnected(true);
    EXPECT_TRUE(log.contains("CloudTranscriptionService: Network status changed - connected: true"));
    EXPECT_TRUE(service->transcribe(recording, {}).ok());
}

TEST_F(CloudTranscriptionServiceTest, NetworkDroppingDuringTheBackOffEndsWithOffline) {
    standIn->script("/api/transcribe", {status(503)}, text("never asked"));
    auto service = makeService();
    onSleep = [this](Duration, std::stop_token) {
        network->setConnected(false);
        return true;
    };
    auto result = service->transcribe(recording, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::offline);
    EXPECT_EQ(standIn->requests().size(), 1u);
    EXPECT_EQ(waits, (std::vector<Duration>{1s}));
}

TEST_F(CloudTranscriptionServiceTest, StoppingDuringTheBackOffEndsTheCallWithoutAnotherRequest) {
    standIn->script("/api/transcribe", {status(503)}, text("never asked"));
    auto service = makeService();
    std::stop_source stop;
    onSleep = [&](Duration wait, std::stop_token token) {
        stop.request_stop();
        return sleepFor(wait, token);
    };
    const auto started = std::chrono::steady_clock::now();
    auto result = service->transcribe(recording, stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 900ms);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::cancelled);
    EXPECT_EQ(standIn->requests().size(), 1u);
}

TEST_F(CloudTranscriptionServiceTest, StoppingDuringARequestEndsItPromptly) {
    standIn->script("/api/transcribe", {{200, R"({"text":"too late"})", {}, 10.0, false}});
    auto service = makeService();
    std::stop_source stop;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    auto result = service->transcribe(recording, stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::cancelled);
    EXPECT_TRUE(waits.empty());
}

TEST_F(CloudTranscriptionServiceTest, RefusesPlainHttpToAnotherHost) {
    for (const std::string url : {"http://example.com", "http://192.0.2.1:8080", "http://localhost@192.0.2.1",
                                  "ftp://127.0.0.1"}) {
        waits.clear();
        auto service = makeService(url);
        auto result = service->transcribe(recording, {});
        ASSERT_FALSE(result.ok()) << url;
        EXPECT_EQ(result.error().kind, Kind::invalidURL) << url;
        EXPECT_EQ(result.error().description(), "Invalid API endpoint URL.");
        EXPECT_TRUE(waits.empty()) << url;
    }
    // Loopback over plain HTTP is fine, under any of its names.
    auto service = makeService("http://localhost:" + std::to_string(standIn->port()));
    EXPECT_TRUE(service->transcribe(recording, {}).ok());
}

TEST_F(CloudTranscriptionServiceTest, NoServerListeningIsANetworkError) {
    // Port 9 (discard) is not served on the test machine.
    auto service = makeService("http://127.0.0.1:9");
    auto result = service->transcribe(recording, {});
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, Kind::networkError);
    EXPECT_TRUE(result.error().description().starts_with("Network error: ")) << result.error().description();
    EXPECT_EQ(waits, (std::vector<Duration>{1s, 2s}));
}

// Records when it is started and cancelled.
class LifecycleMonitor final : public NetworkMonitor {
public:
    explicit LifecycleMonitor(std::vector<std::string>& events) : events_(events) {}
    void start(Handler) override { events_.push_back("start"); }
    void cancel() override { events_.push_back("cancel"); }

private:
    std::vector<std::string>& events_;
};

TEST_F(CloudTranscriptionServiceTest, TheMonitorFollowsTheServiceLifetime) {
    std::vector<std::string> events;
    {
        CloudTranscriptionService service(http, std::make_unique<LifecycleMonitor>(events), installId,
                                          standIn->baseUrl());
        EXPECT_EQ(events, std::vector<std::string>{"start"});
        EXPECT_TRUE(service.isConnected());  // until the first report
        EXPECT_EQ(service.proxyEndpoint(), standIn->baseUrl() + "/api/transcribe");
    }
    EXPECT_EQ(events, (std::vector<std::string>{"start", "cancel"}));
}

}  // namespace
}  // namespace quonvera
