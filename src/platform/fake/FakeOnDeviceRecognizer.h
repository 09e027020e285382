#pragma once

#include "platform/OnDeviceRecognizer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace quonvera {

// Lets a test hold the calls of a fake in the middle, as a slow download or recognition would,
// and count them. Calls block while held, until released or their stop token fires.
class FakeCallGate {
public:
    void hold();
    void release();
    // Waits in real time until `count` calls have started.
    bool waitForCalls(int count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    int callCount() const;
    int maxConcurrentCalls() const;

    // For the fakes: marks a call as running, waits while held; false when stopped meanwhile.
    bool enter(std::stop_token stopToken);
    void leave();

private:
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    bool held_ = false;
    int calls_ = 0;
    int running_ = 0;
    int maxRunning_ = 0;
};

// A recognizer that returns scripted results.
class FakeOnDeviceRecognizer final : public OnDeviceRecognizer {
public:
    RecognitionResult transcribeFile(const std::filesystem::path& audioFile, std::stop_token stopToken) override;
    RecognitionResult transcribeSamples(const std::vector<float>& samples, const DecodingOptions& options,
                                        std::stop_token stopToken) override;

    // The results of the next calls, in order; after them every call gets the default result.
    void queueResult(RecognitionResult result);
    void setDefaultResult(RecognitionResult result);
    static RecognitionResult text(std::vector<std::string> segments);

    FakeCallGate gate;
    std::vector<std::filesystem::path> files() const;
    std::vector<std::size_t> sampleCounts() const;
    std::optional<DecodingOptions> lastOptions() const;

private:
    RecognitionResult nextResult(std::stop_token stopToken);

    mutable std::mutex mutex_;
    std::deque<RecognitionResult> queued_;
    RecognitionResult default_ = text({});
    std::vector<std::filesystem::path> files_;
    std::vector<std::size_t> sampleCounts_;
    std::optional<DecodingOptions> lastOptions_;
};

// Creates fake recognizers, or fails as scripted.
class FakeOnDeviceRecognizerFactory final : public OnDeviceRecognizerFactory {
public:
    Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> create(const RecognizerConfiguration& configuration,
                                                                        std::stop_token stopToken) override;

    // The next creations fail with these errors, in order; after them creations succeed.
    void queueFailure(RecognizerError error);
    // The recognizer every successful creation returns.
    std::shared_ptr<FakeOnDeviceRecognizer> recognizer = std::make_shared<FakeOnDeviceRecognizer>();

    FakeCallGate gate;
    std::vector<std::string> modelIdentifiers() const;

private:
    mutable std::mutex mutex_;
    std::deque<RecognizerError> failures_;
    std::vector<std::string> identifiers_;
};

}  // namespace quonvera
