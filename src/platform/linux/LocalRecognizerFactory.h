#pragma once

#include "platform/AppDirectories.h"
#include "platform/OnDeviceRecognizer.h"

#include <memory>

namespace quonvera {

// The message of every model initialisation in a build without whisper.cpp.
inline constexpr const char* kLocalTranscriptionUnavailable =
    "Local transcription is not part of this build (built without whisper.cpp); recordings are transcribed in the cloud.";

// The on-device recognizer of this build: whisper.cpp with ggml models kept in
// `directories.modelCache` and downloaded from the model repository on first use, or, in a build
// without whisper.cpp, a factory whose every creation fails with kLocalTranscriptionUnavailable.
std::shared_ptr<OnDeviceRecognizerFactory> makeLocalRecognizerFactory(const AppDirectories& directories);

}  // namespace quonvera
