#pragma once

#include "core/Result.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace quonvera {

// Writes a WAVE file of 32-bit IEEE float samples, 16000 Hz, one channel, readable by its
// owner only. Closing (or destroying) it completes the header.
class WavFileWriter {
public:
    static constexpr int sampleRate = 16000;

    // Creates (or truncates) the file. The error is the file library's message.
    static Result<std::unique_ptr<WavFileWriter>, std::string> create(const std::filesystem::path& file);
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    // Returns the error message when not every sample was written.
    std::optional<std::string> write(std::span<const float> samples);
    void close();

private:
    explicit WavFileWriter(void* handle) : handle_(handle) {}
    void* handle_;  // SNDFILE*
};

}  // namespace quonvera
