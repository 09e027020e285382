#include "platform/fake/FakeOnDeviceRecognizer.h"

namespace quonvera {

void FakeCallGate::hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void FakeCallGate::release() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    changed_.notify_all();
}

bool FakeCallGate::waitForCalls(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return calls_ >= count; });
}

int FakeCallGate::callCount() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int FakeCallGate::maxConcurrentCalls() const {
    std::lock_guard lock(mutex_);
    return maxRunning_;
}

bool FakeCallGate::enter(std::stop_token stopToken) {
    std::unique_lock lock(mutex_);
    ++calls_;
    maxRunning_ = std::max(maxRunning_, ++running_);
    changed_.notify_all();
    return changed_.wait(lock, stopToken, [&] { return !held_; });
}

void FakeCallGate::leave() {
    {
        std::lock_guard lock(mutex_);
        --running_;
    }
    changed_.notify_all();
}

RecognitionResult FakeOnDeviceRecognizer::text(std::vector<std::string> segments) {
    std::vector<RecognitionSegment> result;
    for (auto& segment : segments) result.push_back({std::move(segment)});
    return result;
}

void FakeOnDeviceRecognizer::queueResult(RecognitionResult result) {
    std::lock_guard lock(mutex_);
    queued_.push_back(std::move(result));
}

void FakeOnDeviceRecognizer::setDefaultResult(RecognitionResult result) {
    std::lock_guard lock(mutex_);
    default_ = std::move(result);
}

RecognitionResult FakeOnDeviceRecognizer::nextResult(std::stop_token stopToken) {
    std::optional<RecognitionResult> result;
    {
        std::lock_guard lock(mutex_);
        if (queued_.empty()) {
            result = default_;
        } else {
            result = std::move(queued_.front());
            queued_.pop_front();
        }
    }
    const bool proceed = gate.enter(stopToken);
    gate.leave();
    if (!proceed) return RecognizerError::withMessage("Cancelled");
    return std::move(*result);
}

RecognitionResult FakeOnDeviceRecognizer::transcribeFile(const std::filesystem::path& audioFile, std::stop_token stopToken) {
    {
        std::lock_guard lock(mutex_);
        files_.push_back(audioFile);
    }
    return nextResult(stopToken);
}

RecognitionResult FakeOnDeviceRecognizer::transcribeSamples(const std::vector<float>& samples,
                                                            const DecodingOptions& options, std::stop_token stopToken) {
    {
        std::lock_guard lock(mutex_);
        sampleCounts_.push_back(samples.size());
        lastOptions_ = options;
    }
    return nextResult(stopToken);
}

std::vector<std::filesystem::path> FakeOnDeviceRecognizer::files() const {
    std::lock_guard lock(mutex_);
    return files_;
}

std::vector<std::size_t> FakeOnDeviceRecognizer::sampleCounts() const {
    std::lock_guard lock(mutex_);
    return sampleCounts_;
}

std::optional<DecodingOptions> FakeOnDeviceRecognizer::lastOptions() const {
    std::lock_guard lock(mutex_);
    return lastOptions_;
}

Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> FakeOnDeviceRecognizerFactory::create(
    const RecognizerConfiguration& configuration, std::stop_token stopToken) {
    {
        std::lock_guard lock(mutex_);
        identifiers_.push_back(configuration.modelIdentifier);
    }
    const bool proceed = gate.enter(stopToken);
    gate.leave();
    if (!proceed) return RecognizerError::withMessage("Cancelled");
    std::lock_guard lock(mutex_);
    if (!failures_.empty()) {
        auto error = std::move(failures_.front());
        failures_.pop_front();
        return error;
    }
    return std::shared_ptr<OnDeviceRecognizer>(recognizer);
}

void FakeOnDeviceRecognizerFactory::queueFailure(RecognizerError error) {
    std::lock_guard lock(mutex_);
    failures_.push_back(std::move(error));
}

std::vector<std::string> FakeOnDeviceRecognizerFactory::modelIdentifiers() const {
    std::lock_guard lock(mutex_);
    return identifiers_;
}

}  // namespace quonvera
