#include "services/ModelDownloader.h"

#include "core/Log.h"
#include "core/Sha256.h"
#include "support/ModelFileServer.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace quonvera {
namespace {

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

class ModelDownloaderTest : public testing::Test {
protected:
    void start(std::optional<std::uint64_t> cutAfter = std::nullopt) {
        server = std::make_unique<test::ModelFileServer>(cutAfter);
        ASSERT_FALSE(server->baseUrl().empty()) << server->failure();
        std::mt19937 random(7);
        content.resize(300000);
        for (auto& byte : content) byte = static_cast<char>(random());
        writeAll(server->root() / "ggml-test.bin", content);
        request.url = server->baseUrl() + "/ggml-test.bin";
        request.destination = folder / "models" / "ggml-test.bin";
        request.expectedSize = content.size();
        request.sha256 = *sha256OfFile(server->root() / "ggml-test.bin");
    }
    std::filesystem::path partial() const { return ModelDownloader::partialPath(request.destination); }

    LogCapture log;
    test::TemporaryFolder folder;
    std::unique_ptr<test::ModelFileServer> server;
    std::string content;
    ModelDownload request;
    ModelDownloader downloader;
};

TEST_F(ModelDownloaderTest, DownloadsVerifiesAndMovesTheFileIntoPlace) {
    start();
    const auto outcome = downloader.download(request, {});
    ASSERT_TRUE(outcome.ok()) << outcome.error();
    EXPECT_FALSE(outcome.value().alreadyPresent);
    EXPECT_EQ(readAll(request.destination), content);
    EXPECT_FALSE(std::filesystem::exists(partial()));
    EXPECT_EQ(server->requests(), (std::vector<std::string>{"GET /ggml-test.bin Range: "}));
    EXPECT_TRUE(log.contains("ModelDownloader: Downloaded ggml-test.bin (0.3 MB)"));

    // Present with the right size: not fetched again.
    const auto again = downloader.download(request, {});
    ASSERT_TRUE(again.ok());
    EXPECT_TRUE(again.value().alreadyPresent);
    EXPECT_EQ(server->requests().size(), 1u);
}

TEST_F(ModelDownloaderTest, ConnectionCutPartWayIsResumedWithARangeRequest) {
    start(100000);
    const auto outcome = downloader.download(request, {});
    ASSERT_TRUE(outcome.ok()) << outcome.error();
    EXPECT_EQ(readAll(request.destination), content);
    EXPECT_EQ(server->requests(),
              (std::vector<std::string>{"GET /ggml-test.bin Range: ", "GET /ggml-test.bin Range: bytes=100000-"}));
    EXPECT_EQ(log.linesStartingWith("ModelDownloader: Download of ggml-test.bin interrupted after 100000 bytes").size(), 1u);
}

TEST_F(ModelDownloaderTest, PartialFileOfAnEarlierRunIsResumed) {
    start();
    std::filesystem::create_directories(request.destination.parent_path());
    writeAll(partial(), content.substr(0, 123456));
    const auto outcome = downloader.download(request, {});
    ASSERT_TRUE(outcome.ok()) << outcome.error();
    EXPECT_EQ(outcome.value().resumedFrom, 123456u);
    EXPECT_EQ(readAll(request.destination), content);
    EXPECT_EQ(server->requests(), (std::vector<std::string>{"GET /ggml-test.bin Range: bytes=123456-"}));
    EXPECT_TRUE(log.contains("ModelDownloader: Resuming ggml-test.bin at byte 123456"));
}

TEST_F(ModelDownloaderTest, ChecksumMismatchKeepsNoFile) {
    start();
    request.sha256 = std::string(64, '0');
    const auto outcome = downloader.download(request, {});
    ASSERT_FALSE(outcome.ok());
    EXPECT_TRUE(outcome.error().starts_with("Checksum mismatch for ggml-test.bin: expected SHA-256 0000")) << outcome.error();
    EXPECT_FALSE(std::filesystem::exists(request.destination));
    EXPECT_FALSE(std::filesystem::exists(partial()));
}

TEST_F(ModelDownloaderTest, WrongSizeKeepsNoFile) {
    start();
    request.expectedSize = content.size() - 1;
    request.sha256.clear();
    const auto outcome = downloader.download(request, {});
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error(), "Downloaded ggml-test.bin has 300000 bytes, expected 299999");
    EXPECT_FALSE(std::filesystem::exists(request.destination));
    EXPECT_FALSE(std::filesystem::exists(partial()));
}

TEST_F(ModelDownloaderTest, MissingFileIsAClearError) {
    start();
    request.url = server->baseUrl() + "/ggml-missing.bin";
    const auto outcome = downloader.download(request, {});
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error(), "Model file not found: " + request.url + " (HTTP 404)");
    EXPECT_FALSE(std::filesystem::exists(request.destination));
    EXPECT_EQ(server->requests().size(), 1u);
}

TEST_F(ModelDownloaderTest, StopRequestEndsTheDownloadAndKeepsNothingInPlace) {
    start();
    std::stop_source stop;
    stop.request_stop();
    const auto outcome = downloader.download(request, stop.get_token());
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error(), "Download of ggml-test.bin cancelled");
    EXPECT_FALSE(std::filesystem::exists(request.destination));
}

TEST(ModelRepositoryTest, BaseUrlCanBeOverriddenFromTheEnvironment) {
    ::unsetenv("QUONVERA_MODEL_BASE_URL");
    EXPECT_EQ(modelRepositoryBaseUrl(), "https://huggingface.co/ggerganov/whisper.cpp/resolve/main");
    ::setenv("QUONVERA_MODEL_BASE_URL", "http://127.0.0.1:8000/models/", 1);
    EXPECT_EQ(modelRepositoryBaseUrl(), "http://127.0.0.1:8000/models");
    ::unsetenv("QUONVERA_MODEL_BASE_URL");
}

}  // namespace
}  // namespace quonvera
