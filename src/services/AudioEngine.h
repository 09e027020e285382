#pragma once

#include "app/contract/AudioEngineInterface.h"
#include "app/contract/PermissionManagerInterface.h"
#include "core/MainQueue.h"
#include "platform/AudioCaptureSource.h"
#include "services/AudioDeviceManager.h"
#include "services/SampleWindow.h"
#include "services/WavFileWriter.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quonvera {

// Records the microphone into a private temporary WAVE file (32-bit float, 16000 Hz, mono),
// reports six levels per captured buffer and, while streaming is enabled, the newest 30 s of
// samples at most twice a second. Its operations run on the main thread; each captured buffer
// is written and measured on the capture thread, which reaches the delegate only through
// the main queue.
class AudioEngine final : public AudioEngineInterface {
public:
    static constexpr double targetSampleRate = 16000;
    static constexpr double minimumRecordingDuration = 0.3;  // seconds; shorter ones are discarded
    static constexpr double streamingInterval = 0.5;         // seconds between sample deliveries
    static constexpr std::size_t maxStreamingSamples = 480000;

    // Makes `folder` exist and be readable by the owner only; false when it cannot.
    using FolderPreparer = std::function<bool(const std::filesystem::path& folder)>;

    AudioEngine(MainQueue& mainQueue, AudioCaptureSource& captureSource, AudioDeviceManager& devices,
                PermissionManagerInterface& permissions, std::filesystem::path temporaryFolder,
                FolderPreparer prepareFolder = createPrivateFolder);
    // Stops a running recording first (delivering or discarding it).
    ~AudioEngine() override;
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    void startRecording() override;
    void stopRecording() override;
    // Runs `completion` before returning.
    void cancelRecording(std::function<void(std::optional<std::filesystem::path>)> completion) override;
    void setInputDevice(std::optional<std::string> deviceUID) override;
    void enableStreaming() override;
    void disableStreaming() override;
    bool isRecording() const override { return isRecording_; }
    bool isStreamingEnabled() const override;
    void setDelegate(std::weak_ptr<AudioEngineDelegate> delegate) override { delegate_ = std::move(delegate); }

    // The file of the current or most recent recording; cleared by cancel.
    const std::optional<std::filesystem::path>& recordingURL() const { return recordingURL_; }
    const std::optional<std::string>& selectedDeviceUID() const { return selectedDeviceUID_; }

    // The default folder preparer: creates the folder and sets it to mode 0700.
    static bool createPrivateFolder(const std::filesystem::path& folder);

private:
    // State shared between the main thread and the capture thread, under one lock.
    struct Streaming {
        std::mutex mutex;
        bool enabled = false;
        SampleWindow samples{maxStreamingSamples};
        std::optional<TimePoint> lastStreamTime;
    };

    void startAfterPermission();
    void failToStart(const AudioEngineError& error);
    Result<std::unique_ptr<WavFileWriter>, AudioEngineError> createRecordingFile();
    void processBuffer(WavFileWriter& file, std::span<const float> samples);
    // Stops the capture and closes the file; returns the recording's duration in seconds.
    double endCapture();
    template <typename Call>
    void postToDelegate(Call call);

    MainQueue& mainQueue_;
    AudioCaptureSource& captureSource_;
    AudioDeviceManager& devices_;
    PermissionManagerInterface& permissions_;
    std::filesystem::path temporaryFolder_;
    FolderPreparer prepareFolder_;

    std::weak_ptr<AudioEngineDelegate> delegate_;
    std::unique_ptr<AudioCaptureStream> capture_;
    std::unique_ptr<WavFileWriter> audioFile_;
    std::optional<std::filesystem::path> recordingURL_;
    bool isRecording_ = false;
    std::optional<TimePoint> recordingStartTime_;
    std::optional<std::string> selectedDeviceUID_;
    std::shared_ptr<Streaming> streaming_ = std::make_shared<Streaming>();
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);  // lets queued deliveries see it is gone
};

}  // namespace quonvera
