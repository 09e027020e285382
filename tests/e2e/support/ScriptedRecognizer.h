#pragma once

#include "platform/OnDeviceRecognizer.h"

#include <filesystem>
#include <mutex>
#include <string>

namespace quonvera::test {

// A recognizer whose answers a test writes into two files while the application runs.
//
// Streaming passes: `partialsFile` holds one result per line and is read again at every pass;
// each pass answers with the next line not yet answered, and repeats its previous answer once
// the lines run out (no change, so no notification). A test appends a line to move the live
// text one step on. A missing file answers nothing.
// Whole recordings: `finalFile` holds the text, a trailing line break not included.
class ScriptedRecognizer final : public OnDeviceRecognizer {
public:
    ScriptedRecognizer(std::filesystem::path partialsFile, std::filesystem::path finalFile);

    RecognitionResult transcribeFile(const std::filesystem::path& audioFile, std::stop_token stopToken) override;
    RecognitionResult transcribeSamples(const std::vector<float>& samples, const DecodingOptions& options,
                                        std::stop_token stopToken) override;

private:
    std::filesystem::path partialsFile_;
    std::filesystem::path finalFile_;
    std::mutex mutex_;
    std::size_t nextLine_ = 0;
    std::string lastAnswer_;
};

// Creates the scripted recognizer at once: the model is ready as soon as the application asks.
class ScriptedRecognizerFactory final : public OnDeviceRecognizerFactory {
public:
    ScriptedRecognizerFactory(std::filesystem::path partialsFile, std::filesystem::path finalFile);

    Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> create(const RecognizerConfiguration& configuration,
                                                                        std::stop_token stopToken) override;

private:
    std::filesystem::path partialsFile_;
    std::filesystem::path finalFile_;
};

}  // namespace quonvera::test
