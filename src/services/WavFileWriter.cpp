#include "services/WavFileWriter.h"

#include <fstream>
#include <sndfile.h>

namespace quonvera {
namespace fs = std::filesystem;

Result<std::unique_ptr<WavFileWriter>, std::string> WavFileWriter::create(const fs::path& file) {
    // Create the file empty and private first: the library would create it with the process's
    // default mode, and voice recordings must never be readable by others.
    {
        std::ofstream touch(file, std::ios::binary | std::ios::trunc);
        if (!touch) return std::string("Cannot create ") + file.string();
    }
    std::error_code error;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, error);
    if (error) return error.message();

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* handle = sf_open(file.c_str(), SFM_WRITE, &info);
    if (handle == nullptr) return std::string(sf_strerror(nullptr));
    return std::unique_ptr<WavFileWriter>(new WavFileWriter(handle));
}

WavFileWriter::~WavFileWriter() { close(); }

std::optional<std::string> WavFileWriter::write(std::span<const float> samples) {
    auto* file = static_cast<SNDFILE*>(handle_);
    if (file == nullptr) return std::string("File is closed");
    const auto count = static_cast<sf_count_t>(samples.size());
    if (sf_writef_float(file, samples.data(), count) != count) return std::string(sf_strerror(file));
    return std::nullopt;
}

void WavFileWriter::close() {
    if (handle_ != nullptr) sf_close(static_cast<SNDFILE*>(handle_));
    handle_ = nullptr;
}

}  // namespace quonvera
