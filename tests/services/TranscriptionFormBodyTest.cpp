#include "services/TranscriptionFormBody.h"

#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>

namespace quonvera {
namespace {

const std::string boundary = "0E984725-C51C-4BF4-9960-E1C80E27ABA0";

std::string expectedBody(const std::string& audio) {
    return "--" + boundary + "\r\n" +
           "Content-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n"
           "Content-Type: audio/wav\r\n\r\n" +
           audio + "\r\n--" + boundary + "\r\n" +
           "Content-Disposition: form-data; name=\"model\"\r\n\r\ngpt-4o-transcribe\r\n--" + boundary + "\r\n" +
           "Content-Disposition: form-data; name=\"prompt\"\r\n\r\n"
           "Transcribe accurately with proper punctuation and capitalization.\r\n--" + boundary + "--\r\n";
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(TranscriptionFormBodyTest, EmbedsTheFileBytesUnchanged) {
    test::TemporaryFolder folder;
    // Bytes that a text-oriented reader would mangle: NULs, CR LF, a boundary look-alike.
    std::string audio = std::string("RIFF\0\0\0\0WAVE\r\n--", 16) + boundary + "\r\n\xff\xfe";
    for (int i = 0; i < 100000; ++i) audio.push_back(static_cast<char>(i * 7));
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {{"empty.wav", ""}, {"binary.wav", audio}, {"brem_recording_1765000000.wav", "x"}};
    for (const auto& c : cases) {
        writeFile(folder / c.name, c.bytes);
        auto body = buildTranscriptionFormBody(folder / c.name, boundary);
        ASSERT_TRUE(body.ok()) << c.name;
        EXPECT_EQ(body.value(), expectedBody(c.bytes)) << c.name;
    }
}

TEST(TranscriptionFormBodyTest, AnUnreadableRecordingNamesTheFileAndTheReason) {
    test::TemporaryFolder folder;
    auto missing = buildTranscriptionFormBody(folder / "brem_recording_1.wav", boundary);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("brem_recording_1.wav"), std::string::npos) << missing.error().message;
    EXPECT_NE(missing.error().message.find("No such file"), std::string::npos) << missing.error().message;

    auto directory = buildTranscriptionFormBody(folder.path(), boundary);
    EXPECT_FALSE(directory.ok());
}

}  // namespace
}  // namespace quonvera
