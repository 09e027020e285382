#include "ScriptedRecognizer.h"

#include "core/Log.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace quonvera::test {
namespace {

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

// Only complete lines: a line still being written has no line break yet.
std::vector<std::string> completeLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

RecognitionResult answer(const std::string& text) {
    if (text.empty()) return RecognitionResult(std::vector<RecognitionSegment>{});
    return RecognitionResult(std::vector<RecognitionSegment>{{text}});
}

}  // namespace

ScriptedRecognizer::ScriptedRecognizer(std::filesystem::path partialsFile, std::filesystem::path finalFile)
    : partialsFile_(std::move(partialsFile)), finalFile_(std::move(finalFile)) {}

RecognitionResult ScriptedRecognizer::transcribeFile(const std::filesystem::path& audioFile, std::stop_token) {
    std::string text = readText(finalFile_);
    if (text.ends_with('\n')) text.pop_back();
    logLine("ScriptedRecognizer: Recording " + audioFile.filename().string() + " -> '" + text + "'");
    return answer(text);
}

RecognitionResult ScriptedRecognizer::transcribeSamples(const std::vector<float>& samples, const DecodingOptions&,
                                                        std::stop_token) {
    std::lock_guard lock(mutex_);
    const auto lines = completeLines(readText(partialsFile_));
    if (nextLine_ < lines.size()) {
        lastAnswer_ = lines[nextLine_++];
        logLine("ScriptedRecognizer: Pass over " + std::to_string(samples.size()) + " samples -> step " +
                std::to_string(nextLine_) + " '" + lastAnswer_ + "'");
    }
    return answer(lastAnswer_);
}

ScriptedRecognizerFactory::ScriptedRecognizerFactory(std::filesystem::path partialsFile,
                                                     std::filesystem::path finalFile)
    : partialsFile_(std::move(partialsFile)), finalFile_(std::move(finalFile)) {}

Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> ScriptedRecognizerFactory::create(
    const RecognizerConfiguration&, std::stop_token) {
    return std::shared_ptr<OnDeviceRecognizer>(std::make_shared<ScriptedRecognizer>(partialsFile_, finalFile_));
}

}  // namespace quonvera::test
