#include "services/AudioEngine.h"

#include "core/Log.h"
#include "services/AudioLevels.h"

#include <charconv>
#include <chrono>
#include <cstdio>

namespace quonvera {
namespace fs = std::filesystem;

namespace {

// Seconds since 1970 in their shortest exact decimal form, always with a fraction ("1765450000.5").
std::string secondsSince1970Text() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, seconds).ptr;
    std::string result(text, end);
    if (result.find_first_of(".e") == std::string::npos) result += ".0";
    return result;
}

std::string oneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

AudioEngine::AudioEngine(MainQueue& mainQueue, AudioCaptureSource& captureSource, AudioDeviceManager& devices,
                         PermissionManagerInterface& permissions, fs::path temporaryFolder,
                         FolderPreparer prepareFolder)
    : mainQueue_(mainQueue),
      captureSource_(captureSource),
      devices_(devices),
      permissions_(permissions),
      temporaryFolder_(std::move(temporaryFolder)),
      prepareFolder_(std::move(prepareFolder)) {}

AudioEngine::~AudioEngine() { stopRecording(); }

bool AudioEngine::createPrivateFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error)) return false;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
    return !error;
}

void AudioEngine::startRecording() {
    if (isRecording_) return;
    if (permissions_.microphoneAuthorized()) {
        startAfterPermission();
        return;
    }
    // The answer may come on another thread: a refusal is reported from there, a grant hops to
    // the main queue. The delegate is captured now so the answering thread reads nothing of ours.
    std::weak_ptr<int> alive = lifetime_;
    std::weak_ptr<AudioEngineDelegate> delegate = delegate_;
    MainQueue* queue = &mainQueue_;
    permissions_.requestMicrophoneAccess([this, alive, delegate, queue](bool granted) {
        if (!granted) {
            if (auto target = delegate.lock())
                target->audioEngineDidFail(AudioEngineError{AudioEngineError::Kind::microphonePermissionDenied, {}});
            return;
        }
        // Straight to the capture: where granting does not change the status (no sound server
        // on Linux), checking again would ask again forever; the capture then reports the error.
        queue->post([this, alive] {
            if (alive.lock() && !isRecording_) startAfterPermission();
        });
    });
}

void AudioEngine::startAfterPermission() {
    auto file = createRecordingFile();
    if (!file) {
        failToStart(file.error());
        return;
    }
    audioFile_ = std::move(file.value());

    // A selected device that is no longer listed records from the default input.
    std::optional<std::string> device;
    if (selectedDeviceUID_ && devices_.deviceForUID(*selectedDeviceUID_)) device = selectedDeviceUID_;

    WavFileWriter* writer = audioFile_.get();
    auto capture = captureSource_.start(device, [this, writer](std::span<const float> samples) {
        processBuffer(*writer, samples);
    });
    if (!capture) {
        const AudioCaptureFailure& failure = capture.error();
        // The file holds no audio: remove it rather than leave it behind.
        audioFile_.reset();
        std::error_code ignored;
        if (recordingURL_) fs::remove(*recordingURL_, ignored);
        recordingURL_.reset();
        if (failure.kind == AudioCaptureFailure::Kind::deviceUnavailable && device) {
            logLine("AudioEngine: Failed to set input device, status: " + std::to_string(failure.status));
            failToStart(AudioEngineError{AudioEngineError::Kind::deviceSelectionFailed, {}});
        } else {
            failToStart(AudioEngineError{AudioEngineError::Kind::system, failure.message});
        }
        return;
    }
    if (device) logLine("AudioEngine: Successfully set input device to " + *device);
    capture_ = std::move(capture.value());
    isRecording_ = true;
    recordingStartTime_ = mainQueue_.now();
    if (auto delegate = delegate_.lock()) delegate->audioEngineDidStartRecording();
    logLine("AudioEngine: Recording started");
}

void AudioEngine::failToStart(const AudioEngineError& error) {
    logLine("AudioEngine: Failed to start recording: " + error.description());
    if (auto delegate = delegate_.lock()) delegate->audioEngineDidFail(error);
}

Result<std::unique_ptr<WavFileWriter>, AudioEngineError> AudioEngine::createRecordingFile() {
    if (!prepareFolder_(temporaryFolder_)) return AudioEngineError{AudioEngineError::Kind::fileCreationFailed, {}};
    recordingURL_ = temporaryFolder_ / ("brem_recording_" + secondsSince1970Text() + ".wav");
    auto writer = WavFileWriter::create(*recordingURL_);
    if (!writer) return AudioEngineError{AudioEngineError::Kind::system, writer.error()};
    return std::move(writer.value());
}

template <typename Call>
void AudioEngine::postToDelegate(Call call) {
    std::weak_ptr<int> alive = lifetime_;
    mainQueue_.post([this, alive, call = std::move(call)]() mutable {
        if (!alive.lock()) return;
        if (auto delegate = delegate_.lock()) call(*delegate);
    });
}

// Capture thread.
void AudioEngine::processBuffer(WavFileWriter& file, std::span<const float> samples) {
    if (auto error = file.write(samples)) {
        logLine("AudioEngine: Error writing audio buffer: " + *error);
        return;
    }
    postToDelegate([levels = calculateLevels(samples)](AudioEngineDelegate& delegate) {
        delegate.audioEngineDidUpdateLevels(levels);
    });

    std::optional<std::vector<float>> window;
    {
        std::lock_guard lock(streaming_->mutex);
        if (!streaming_->enabled) return;
        streaming_->samples.append(samples);
        const TimePoint now = mainQueue_.now();
        if (!streaming_->lastStreamTime || now - *streaming_->lastStreamTime >= seconds(streamingInterval)) {
            streaming_->lastStreamTime = now;
            window = streaming_->samples.copy();
        }
    }
    if (window) {
        postToDelegate([samples = std::move(*window)](AudioEngineDelegate& delegate) {
            delegate.audioEngineDidAccumulateSamples(samples);
        });
    }
}

double AudioEngine::endCapture() {
    const double duration =
        recordingStartTime_ ? std::chrono::duration<double>(mainQueue_.now() - *recordingStartTime_).count() : 0.0;
    capture_.reset();  // no buffer is being processed once this returns
    audioFile_.reset();
    isRecording_ = false;
    recordingStartTime_.reset();
    return duration;
}

void AudioEngine::stopRecording() {
    if (!isRecording_) return;
    const double duration = endCapture();
    if (!recordingURL_) return;
    const fs::path file = *recordingURL_;
    if (duration >= minimumRecordingDuration) {
        logLine("AudioEngine: Recording stopped (" + oneDecimal(duration) + "s), file at: file://" + file.string());
        if (auto delegate = delegate_.lock()) delegate->audioEngineDidFinishRecording(file);
        return;
    }
    logLine("AudioEngine: Recording too short (" + oneDecimal(duration) + "s), discarding");
    std::error_code ignored;
    fs::remove(file, ignored);
    if (auto delegate = delegate_.lock()) delegate->audioEngineDidDiscardShortRecording();
}

void AudioEngine::cancelRecording(std::function<void(std::optional<fs::path>)> completion) {
    if (!isRecording_) {
        if (completion) completion(std::nullopt);
        return;
    }
    endCapture();
    std::optional<fs::path> file = std::exchange(recordingURL_, std::nullopt);
    logLine("AudioEngine: Recording cancelled, file preserved at: " + (file ? file->string() : std::string("nil")));
    if (completion) completion(file);
}

void AudioEngine::setInputDevice(std::optional<std::string> deviceUID) {
    selectedDeviceUID_ = std::move(deviceUID);
    logLine("AudioEngine: Input device set to " + selectedDeviceUID_.value_or("system default"));
}

void AudioEngine::enableStreaming() {
    std::lock_guard lock(streaming_->mutex);
    streaming_->enabled = true;
}

void AudioEngine::disableStreaming() {
    std::lock_guard lock(streaming_->mutex);
    streaming_->enabled = false;
    streaming_->samples.clear();
    streaming_->lastStreamTime.reset();
}

bool AudioEngine::isStreamingEnabled() const {
    std::lock_guard lock(streaming_->mutex);
    return streaming_->enabled;
}

}  // namespace quonvera
