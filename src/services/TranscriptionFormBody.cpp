#include "services/TranscriptionFormBody.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quonvera {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

RecordingReadError fileError(const std::filesystem::path& file, int error) {
    return {"The file \"" + file.filename().string() + "\" couldn't be read: " + std::strerror(error)};
}

}  // namespace

Result<std::string, RecordingReadError> buildTranscriptionFormBody(const std::filesystem::path& audioFile,
                                                            const std::string& boundary) {
    const std::string head = "--" + boundary +
                             "\r\n"
                             "Content-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n"
                             "Content-Type: audio/wav\r\n"
                             "\r\n";
    const std::string tail = "\r\n--" + boundary +
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

    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(audioFile.c_str(), "rb"));
    if (!file) return fileError(audioFile, errno);
    std::error_code sizeError;
    const auto expectedSize = std::filesystem::file_size(audioFile, sizeError);
    if (sizeError) return fileError(audioFile, sizeError.value());

    std::string body;
    // One spare byte lets the first read notice the end of the file without growing the buffer.
    body.reserve(head.size() + expectedSize + 1 + tail.size());
    body.append(head);
    // Read until the end even if the file changed size since it was measured.
    size_t capacity = static_cast<size_t>(expectedSize) + 1;
    while (true) {
        const size_t start = body.size();
        body.resize(start + capacity);
        const size_t got = std::fread(body.data() + start, 1, capacity, file.get());
        body.resize(start + got);
        if (got < capacity) break;
        capacity = 64 * 1024;
    }
    if (std::ferror(file.get())) return fileError(audioFile, errno ? errno : EIO);
    body.append(tail);
    return body;
}

}  // namespace quonvera
