#pragma once

#include "models/WhisperModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quonvera {

// The recognizer's identifier of a model ("openai_whisper-tiny", ...).
std::string_view modelIdentifier(WhisperModel model);
// The approximate download size shown beside the model ("~75 MB", ...).
std::string_view downloadSizeText(WhisperModel model);

// One ggml model file of the public whisper.cpp model repository.
struct GgmlModelFile {
    std::string fileName;
    std::uint64_t size = 0;  // bytes
    std::string sha256;      // lower-case hex; empty where no published value is recorded
};

// The ggml file that holds the model a recognizer identifier names, if any.
std::optional<GgmlModelFile> ggmlModelFile(std::string_view identifier);

}  // namespace quonvera
