#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "platform/fake/FakeAudioCaptureSource.h"
#include "platform/fake/FakeAudioDeviceCatalog.h"
#include "platform/fake/FakeDesktopNotifier.h"
#include "platform/fake/FakeDisplayAccessProbe.h"
#include "platform/fake/FakeSoundServerProbe.h"
#include "platform/fake/FakeUrlOpener.h"
#include "services/AudioDeviceManager.h"
#include "services/AudioEngine.h"
#include "services/PermissionManager.h"
#include "support/TemporaryFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <thread>

namespace quonvera {
namespace {
namespace fs = std::filesystem;

class RecordingDelegate final : public AudioEngineDelegate {
public:
    void audioEngineDidStartRecording() override { events.push_back("started"); }
    void audioEngineDidFinishRecording(const fs::path& file) override {
        events.push_back("finished");
        finishedFile = file;
    }
    void audioEngineDidDiscardShortRecording() override { events.push_back("discarded"); }
    void audioEngineDidFail(const AudioEngineError& error) override {
        events.push_back("failed: " + error.description());
        errors.push_back(error);
    }
    void audioEngineDidUpdateLevels(const AudioLevels& l) override {
        levels.push_back(l);
        levelThreads.push_back(std::this_thread::get_id());
    }
    void audioEngineDidAccumulateSamples(const std::vector<float>& samples) override { windows.push_back(samples); }

    std::vector<std::string> events;
    std::vector<AudioEngineError> errors;
    std::optional<fs::path> finishedFile;
    std::vector<AudioLevels> levels;
    std::vector<std::thread::id> levelThreads;
    std::vector<std::vector<float>> windows;
};

// Stands in for the permission answer of a system that does have a permission to refuse.
class ScriptedPermissions final : public PermissionManagerInterface {
public:
    bool isAccessibilityTrusted(bool) override { return true; }
    bool microphoneAuthorized() override { return authorized; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override {
        ++requests;
        completion(grant);
    }
    bool authorized = false;
    bool grant = false;
    int requests = 0;
};

struct WaveInfo {
    SF_INFO info{};
    std::vector<float> samples;
};

WaveInfo readWave(const fs::path& file) {
    WaveInfo wave;
    SNDFILE* handle = sf_open(file.c_str(), SFM_READ, &wave.info);
    if (handle == nullptr) return wave;
    wave.samples.resize(static_cast<std::size_t>(wave.info.frames));
    sf_readf_float(handle, wave.samples.data(), wave.info.frames);
    sf_close(handle);
    return wave;
}

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

// One 85 ms buffer at 16000 Hz.
constexpr std::size_t bufferFrames = 1365;
const Duration bufferDuration = seconds(bufferFrames / 16000.0);

class AudioEngineTest : public ::testing::Test {
protected:
    static FakeAudioDeviceCatalog twoMicrophones() {
        FakeAudioDeviceCatalog catalog;
        catalog.devices = {{7, "alsa_input.usb-mic", "USB Microphone"}, {2, "quonvera_mic", "Built-in"}};
        catalog.defaultUID = "quonvera_mic";
        return catalog;
    }

    std::unique_ptr<AudioEngine> makeEngine(PermissionManagerInterface& permissions,
                                            AudioEngine::FolderPreparer prepare = AudioEngine::createPrivateFolder) {
        auto engine = std::make_unique<AudioEngine>(queue, capture, devices, permissions, recordings, std::move(prepare));
        engine->setDelegate(delegate);
        return engine;
    }
    std::unique_ptr<AudioEngine> makeEngine() { return makeEngine(permissions); }

    std::vector<fs::path> recordingFiles() const {
        std::vector<fs::path> files;
        if (fs::exists(recordings))
            for (const auto& entry : fs::directory_iterator(recordings)) files.push_back(entry.path());
        return files;
    }

    // Captures `duration` of audio in 85 ms buffers while virtual time moves along.
    void capture_for(Duration duration, float amplitude = 0.1f) {
        for (Duration elapsed{}; elapsed + bufferDuration <= duration; elapsed += bufferDuration) {
            ASSERT_TRUE(capture.deliver(std::vector<float>(bufferFrames, amplitude)));
            queue.advance(bufferDuration);
        }
    }

    test::TemporaryFolder folder;
    fs::path recordings = folder / "runtime" / "quonvera";
    ManualMainQueue queue;
    FakeAudioCaptureSource capture;
    FakeAudioDeviceCatalog catalog = twoMicrophones();
    AudioDeviceManager devices{queue, catalog};
    FakeSoundServerProbe soundServer;
    FakeDisplayAccessProbe display;
    FakeDesktopNotifier notifier;
    FakeUrlOpener urlOpener;
    PermissionManager permissions{soundServer, display, notifier, urlOpener, "/usr/share/quonvera/help/keyboard.html"};
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    LogCapture log;
};

TEST_F(AudioEngineTest, RecordsBuffersIntoAPrivateFloatWaveFileAndDeliversIt) {
    auto engine = makeEngine();
    engine->startRecording();
    ASSERT_TRUE(engine->isRecording());
    EXPECT_EQ(delegate->events, std::vector<std::string>{"started"});
    EXPECT_TRUE(log.contains("AudioEngine: Recording started"));
    ASSERT_EQ(recordingFiles().size(), 1u);
    const fs::path file = recordingFiles().front();
    EXPECT_TRUE(file.filename().string().starts_with("brem_recording_"));
    EXPECT_EQ(file.extension(), ".wav");
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(recordings), 0700u);
    EXPECT_EQ(capture.startedDevices(), std::vector<std::optional<std::string>>{std::nullopt});

    std::vector<float> ramp(bufferFrames);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / bufferFrames - 0.5f;
    ASSERT_TRUE(capture.deliver(ramp));
    ASSERT_TRUE(capture.deliver(ramp));
    queue.advance(seconds(1.25));
    engine->stopRecording();

    EXPECT_FALSE(capture.isCapturing());
    EXPECT_FALSE(engine->isRecording());
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"started", "finished"}));
    EXPECT_EQ(delegate->finishedFile, file);
    EXPECT_EQ(engine->recordingURL(), file);
    EXPECT_TRUE(log.contains("AudioEngine: Recording stopped (1.2s), file at: file://" + file.string()));

    const WaveInfo wave = readWave(file);
    EXPECT_EQ(wave.info.samplerate, 16000);
    EXPECT_EQ(wave.info.channels, 1);
    EXPECT_EQ(wave.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(wave.samples.size(), 2 * bufferFrames);
    EXPECT_EQ(std::vector<float>(wave.samples.begin(), wave.samples.begin() + bufferFrames), ramp);
}

TEST_F(AudioEngineTest, RecordingsShorterThanThreeTenthsOfASecondAreDiscarded) {
    struct Case {
        double seconds;
        bool delivered;
        std::string logLine;
    };
    for (const Case& c : {Case{0.29, false, "AudioEngine: Recording too short (0.3s), discarding"},
                          Case{0.30, true, "AudioEngine: Recording stopped (0.3s), file at: file://"},
                          Case{0.0, false, "AudioEngine: Recording too short (0.0s), discarding"}}) {
        SCOPED_TRACE(c.seconds);
        delegate->events.clear();
        log.clear();
        auto engine = makeEngine();
        engine->startRecording();
        const fs::path file = recordingFiles().back();
        queue.advance(seconds(c.seconds));
        engine->stopRecording();
        EXPECT_EQ(delegate->events.back(), c.delivered ? "finished" : "discarded");
        EXPECT_EQ(fs::exists(file), c.delivered);
        EXPECT_EQ(log.linesStartingWith(c.logLine).size(), 1u);
        fs::remove(file);
    }
}

TEST_F(AudioEngineTest, StartWhileRecordingAndStopOrCancelWhileIdleDoNothing) {
    auto engine = makeEngine();
    engine->stopRecording();
    std::optional<std::optional<fs::path>> cancelled;
    engine->cancelRecording([&](std::optional<fs::path> file) { cancelled = file; });
    ASSERT_TRUE(cancelled.has_value());
    EXPECT_EQ(*cancelled, std::nullopt);
    EXPECT_TRUE(delegate->events.empty());
    EXPECT_TRUE(log.lines().empty());

    engine->startRecording();
    engine->startRecording();
    EXPECT_EQ(delegate->events, std::vector<std::string>{"started"});
    EXPECT_EQ(capture.startedDevices().size(), 1u);
    EXPECT_EQ(recordingFiles().size(), 1u);
}

TEST_F(AudioEngineTest, CancelWhileRecordingKeepsTheFileAndNotifiesNobody) {
    auto engine = makeEngine();
    engine->startRecording();
    capture_for(seconds(1));
    queue.runUntilIdle();
    const fs::path file = recordingFiles().front();
    delegate->events.clear();

    std::optional<fs::path> kept;
    engine->cancelRecording([&](std::optional<fs::path> f) { kept = f; });
    EXPECT_EQ(kept, file);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(readWave(file).samples.size(), 11 * bufferFrames);  // closed and readable
    EXPECT_FALSE(engine->isRecording());
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(engine->recordingURL(), std::nullopt);
    EXPECT_TRUE(log.contains("AudioEngine: Recording cancelled, file preserved at: " + file.string()));

    engine->stopRecording();
    queue.runUntilIdle();
    EXPECT_TRUE(delegate->events.empty());
}

TEST_F(AudioEngineTest, LevelsReachTheDelegateOnTheMainQueueInCaptureOrder) {
    auto engine = makeEngine();
    engine->startRecording();
    std::thread captureThread([&] {
        capture.deliver(std::vector<float>(bufferFrames, 1.0f));
        capture.deliver(std::vector<float>(bufferFrames, 0.0f));
        capture.deliver({});
    });
    captureThread.join();
    EXPECT_TRUE(delegate->levels.empty());  // nothing runs on the capture thread

    queue.runUntilIdle();
    ASSERT_EQ(delegate->levels.size(), 3u);
    EXPECT_EQ(delegate->levels[0], AudioLevels({1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(delegate->levels[1], AudioLevels{});
    EXPECT_EQ(delegate->levels[2], AudioLevels{});
    for (auto id : delegate->levelThreads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(AudioEngineTest, DeliveriesQueuedBeforeTheEngineIsGoneAreDropped) {
    auto engine = makeEngine();
    engine->startRecording();
    engine->enableStreaming();
    capture.deliver(std::vector<float>(bufferFrames, 0.5f));
    engine.reset();  // stops the recording
    queue.runUntilIdle();
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"started", "discarded"}));
    EXPECT_TRUE(delegate->levels.empty());
    EXPECT_TRUE(delegate->windows.empty());
}

TEST_F(AudioEngineTest, StreamingDeliversTheFirstBufferAtOnceThenAtMostEveryHalfSecond) {
    auto engine = makeEngine();
    engine->enableStreaming();
    EXPECT_TRUE(engine->isStreamingEnabled());
    engine->startRecording();
    const TimePoint start = queue.now();
    std::vector<TimePoint> deliveredAt;
    std::size_t seen = 0;
    for (int i = 0; i < 24; ++i) {  // about 2 s
        capture.deliver(std::vector<float>(bufferFrames, 0.2f));
        queue.runUntilIdle();
        if (delegate->windows.size() > seen) {
            deliveredAt.push_back(queue.now());
            seen = delegate->windows.size();
        }
        queue.advance(bufferDuration);
    }
    ASSERT_GE(deliveredAt.size(), 3u);
    EXPECT_EQ(deliveredAt.front(), start);
    EXPECT_EQ(delegate->windows.front().size(), bufferFrames);
    for (std::size_t i = 1; i < deliveredAt.size(); ++i) {
        EXPECT_GE(deliveredAt[i] - deliveredAt[i - 1], seconds(0.5));
        EXPECT_LT(deliveredAt[i] - deliveredAt[i - 1], seconds(0.5) + bufferDuration);
        EXPECT_GT(delegate->windows[i].size(), delegate->windows[i - 1].size());
    }

    // The window outlives the stop and is emptied only by disabling streaming.
    engine->stopRecording();
    engine->startRecording();
    delegate->windows.clear();
    capture.deliver(std::vector<float>(bufferFrames, 0.2f));
    queue.advance(seconds(1));
    capture.deliver(std::vector<float>(bufferFrames, 0.2f));
    queue.runUntilIdle();
    ASSERT_FALSE(delegate->windows.empty());
    EXPECT_EQ(delegate->windows.back().size(), 26 * bufferFrames);

    engine->disableStreaming();
    EXPECT_FALSE(engine->isStreamingEnabled());
    engine->enableStreaming();
    const std::size_t before = delegate->windows.size();
    capture.deliver(std::vector<float>(bufferFrames, 0.2f));
    queue.runUntilIdle();
    ASSERT_EQ(delegate->windows.size(), before + 1);
    EXPECT_EQ(delegate->windows.back().size(), bufferFrames);  // delivered at once, from empty
}

TEST_F(AudioEngineTest, StreamingWindowHoldsExactlyTheNewest480000Samples) {
    auto engine = makeEngine();
    engine->enableStreaming();
    engine->startRecording();
    float next = 0.0f;
    const std::size_t total = 32 * 16000 + 123;
    for (std::size_t sent = 0; sent < total;) {
        std::vector<float> buffer(std::min(bufferFrames, total - sent));
        for (float& sample : buffer) sample = next++;
        sent += buffer.size();
        capture.deliver(buffer);
        queue.advance(bufferDuration);
    }
    capture.deliver({});
    queue.advance(seconds(1));
    capture.deliver({});
    queue.runUntilIdle();
    const std::vector<float>& window = delegate->windows.back();
    ASSERT_EQ(window.size(), 480000u);
    EXPECT_EQ(window.front(), static_cast<float>(total - 480000));
    EXPECT_EQ(window.back(), static_cast<float>(total - 1));
    for (std::size_t i = 1; i < window.size(); ++i) ASSERT_EQ(window[i], window[i - 1] + 1.0f) << i;
}

TEST_F(AudioEngineTest, RecordsFromTheSelectedDeviceOrTheDefaultWhenItIsGone) {
    auto engine = makeEngine();
    engine->setInputDevice("alsa_input.usb-mic");
    EXPECT_TRUE(log.contains("AudioEngine: Input device set to alsa_input.usb-mic"));
    engine->startRecording();
    engine->cancelRecording(nullptr);
    EXPECT_TRUE(log.contains("AudioEngine: Successfully set input device to alsa_input.usb-mic"));

    catalog.devices.erase(catalog.devices.begin());
    catalog.announceChange();
    queue.runUntilIdle();
    engine->startRecording();
    EXPECT_TRUE(engine->isRecording());
    engine->cancelRecording(nullptr);

    engine->setInputDevice(std::nullopt);
    EXPECT_TRUE(log.contains("AudioEngine: Input device set to system default"));
    engine->startRecording();

    EXPECT_EQ(capture.startedDevices(),
              (std::vector<std::optional<std::string>>{"alsa_input.usb-mic", std::nullopt, std::nullopt}));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"started", "started", "started"}));
    EXPECT_TRUE(delegate->errors.empty());
}

TEST_F(AudioEngineTest, EveryStartFailureIsLoggedAndReportedAndLeavesNoFile) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        AudioEngine::FolderPreparer prepare;
        AudioEngineError expected;
        std::optional<std::string> extraLog;
    };
    const fs::path missing = recordings / "not-there";
    const std::vector<Case> cases = {
        {"device vanished after the lookup",
         [&] {
             capture.failNextStart({AudioCaptureFailure::Kind::deviceUnavailable, 5, "No such entity"});
         },
         AudioEngine::createPrivateFolder,
         {AudioEngineError::Kind::deviceSelectionFailed, {}},
         "AudioEngine: Failed to set input device, status: 5"},
        {"no sound server",
         [&] {
             capture.failNextStart({AudioCaptureFailure::Kind::serverUnavailable, 6,
                                    "Cannot connect to the sound server: Connection refused"});
         },
         AudioEngine::createPrivateFolder,
         {AudioEngineError::Kind::system, "Cannot connect to the sound server: Connection refused"},
         std::nullopt},
        {"private folder cannot be made", [] {}, [](const fs::path&) { return false; },
         {AudioEngineError::Kind::fileCreationFailed, {}}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        delegate->events.clear();
        delegate->errors.clear();
        log.clear();
        auto engine = makeEngine(permissions, c.prepare);
        engine->setInputDevice("alsa_input.usb-mic");
        log.clear();
        c.arrange();
        engine->startRecording();
        EXPECT_FALSE(engine->isRecording());
        ASSERT_EQ(delegate->errors.size(), 1u);
        EXPECT_EQ(delegate->errors[0], c.expected);
        std::vector<std::string> expectedLog;
        if (c.extraLog) expectedLog.push_back(*c.extraLog);
        expectedLog.push_back("AudioEngine: Failed to start recording: " + c.expected.description());
        EXPECT_EQ(log.lines(), expectedLog);
        EXPECT_TRUE(recordingFiles().empty());
    }
}

TEST_F(AudioEngineTest, AFileTheLibraryCannotCreateIsReportedWithItsMessage) {
    // The folder "exists" for the engine but is a plain file, so nothing can be created in it.
    fs::create_directories(recordings.parent_path());
    std::ofstream(recordings.parent_path() / "blocker") << "x";
    recordings = recordings.parent_path() / "blocker";
    auto engine = makeEngine(permissions, [](const fs::path&) { return true; });
    engine->startRecording();
    ASSERT_EQ(delegate->errors.size(), 1u);
    EXPECT_EQ(delegate->errors[0].kind, AudioEngineError::Kind::system);
    EXPECT_FALSE(delegate->errors[0].description().empty());
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(AudioEngineTest, ARefusedMicrophoneIsReportedWithoutALogLine) {
    ScriptedPermissions refusing;
    auto engine = makeEngine(refusing);
    engine->startRecording();
    EXPECT_EQ(refusing.requests, 1);
    EXPECT_EQ(delegate->errors, (std::vector<AudioEngineError>{{AudioEngineError::Kind::microphonePermissionDenied, {}}}));
    EXPECT_EQ(delegate->errors[0].description(), "Microphone permission denied");
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(capture.startedDevices().empty());
}

TEST_F(AudioEngineTest, AGrantedRequestStartsOnTheMainQueue) {
    ScriptedPermissions granting;
    granting.grant = true;
    auto engine = makeEngine(granting);
    engine->startRecording();
    EXPECT_FALSE(engine->isRecording());
    queue.runUntilIdle();
    EXPECT_TRUE(engine->isRecording());
    EXPECT_EQ(granting.requests, 1);
    EXPECT_EQ(delegate->events, std::vector<std::string>{"started"});
}

TEST_F(AudioEngineTest, WithoutASoundServerTheCaptureErrorIsReportedOnce) {
    soundServer.answers = false;
    capture.failNextStart({AudioCaptureFailure::Kind::serverUnavailable, 6,
                           "Cannot connect to the sound server: Connection refused"});
    auto engine = makeEngine();
    engine->startRecording();
    queue.runUntilIdle();
    EXPECT_EQ(capture.startedDevices().size(), 1u);
    ASSERT_EQ(delegate->errors.size(), 1u);
    EXPECT_EQ(delegate->errors[0].description(), "Cannot connect to the sound server: Connection refused");
    EXPECT_EQ(queue.runUntilIdle(), 0);
}

}  // namespace
}  // namespace quonvera
