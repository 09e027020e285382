#pragma once

#include "core/Result.h"

#include <filesystem>
#include <string>

namespace quonvera {

// Why the recording could not be read: the file error's description.
struct RecordingReadError {
    std::string message;
};

// The multipart form the transcription endpoint expects: the recording as "file"
// ("audio.wav", audio/wav), the model name, and the prompt, with CR LF line ends.
// The recording is read straight into the body, so its bytes are copied once.
Result<std::string, RecordingReadError> buildTranscriptionFormBody(const std::filesystem::path& audioFile,
                                                                    const std::string& boundary);

}  // namespace quonvera
