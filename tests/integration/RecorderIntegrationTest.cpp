// The recorder, the device catalogue and the permission checks against the real servers that
// scripts/with-test-servers.sh starts: PulseAudio with the null sink "quonvera_speaker" whose
// monitor is the default source "quonvera_mic", Xvfb, and a session bus.
#include "support/QtEventLoop.h"
#include "core/Log.h"
#include "platform/linux/DBusDesktopNotifier.h"
#include "platform/linux/InstalledHelpPages.h"
#include "platform/linux/PulseAudioCaptureSource.h"
#include "platform/linux/PulseAudioDeviceCatalog.h"
#include "platform/linux/PulseSoundServerProbe.h"
#include "platform/linux/QtMainQueue.h"
#include "platform/linux/X11DisplayAccessProbe.h"
#include "platform/linux/XdgOpenUrlOpener.h"
#include "services/AudioDeviceManager.h"
#include "services/AudioEngine.h"
#include "services/PermissionManager.h"
#include "support/TemporaryFolder.h"

#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace quonvera {
namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        ::pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

class RecordingDelegate final : public AudioEngineDelegate {
public:
    void audioEngineDidStartRecording() override { ++started; }
    void audioEngineDidFinishRecording(const fs::path& file) override { finished = file; }
    void audioEngineDidDiscardShortRecording() override { ++discarded; }
    void audioEngineDidFail(const AudioEngineError& error) override { errors.push_back(error); }
    void audioEngineDidUpdateLevels(const AudioLevels& l) override { levels.push_back(l); }
    void audioEngineDidAccumulateSamples(const std::vector<float>& samples) override { windows.push_back(samples.size()); }

    int started = 0;
    int discarded = 0;
    std::optional<fs::path> finished;
    std::vector<AudioEngineError> errors;
    std::vector<AudioLevels> levels;
    std::vector<std::size_t> windows;
};

struct Wave {
    SF_INFO info{};
    std::vector<float> samples;
    double rms() const {
        double sum = 0;
        for (float s : samples) sum += double(s) * s;
        return samples.empty() ? 0.0 : std::sqrt(sum / samples.size());
    }
};

Wave readWave(const fs::path& file) {
    Wave wave;
    SNDFILE* handle = sf_open(file.c_str(), SFM_READ, &wave.info);
    if (handle == nullptr) return wave;
    wave.samples.resize(static_cast<std::size_t>(wave.info.frames));
    sf_readf_float(handle, wave.samples.data(), wave.info.frames);
    sf_close(handle);
    return wave;
}

class RecorderIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureQtApplication();
        ASSERT_EQ(std::system("pactl info >/dev/null 2>&1"), 0)
            << "No PulseAudio server answers: run the integration tests under scripts/with-test-servers.sh";
        ASSERT_EQ(run("pactl get-default-source"), "quonvera_mic")
            << "The virtual microphone quonvera_mic is missing: run under scripts/with-test-servers.sh";
        // A real microphone delivers continuously. The null sink behind the virtual one renders in
        // blocks as long as the lowest latency asked of it, 2 s when nobody asks, and a new
        // capture waits for the current block to end. Quiet low-latency playback keeps the
        // blocks short, and one capture that has received audio shows the chain is running.
        silencePlayer = std::stoi(run("pacat --playback --device=quonvera_speaker --raw --format=s16le --rate=16000 "
                                      "--channels=1 --latency-msec=20 </dev/zero >/dev/null 2>&1 & echo $!"));
        PulseAudioCaptureSource warmUp;
        std::atomic<std::size_t> frames{0};
        auto stream = warmUp.start(std::nullopt, [&](std::span<const float> samples) { frames += samples.size(); });
        ASSERT_TRUE(stream.ok()) << stream.error().message;
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (frames < 16000 / 2 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GE(frames.load(), 16000u / 2) << "The virtual microphone delivers no audio";
    }

    static void TearDownTestSuite() {
        if (silencePlayer > 0) ::kill(silencePlayer, SIGTERM);
    }

    std::unique_ptr<AudioEngine> makeEngine() {
        auto engine = std::make_unique<AudioEngine>(queue, capture, devices, permissions, folder / "recordings");
        engine->setDelegate(delegate);
        return engine;
    }

    static inline pid_t silencePlayer = 0;
    test::TemporaryFolder folder;
    QObject context;
    QtMainQueue queue{&context};
    PulseAudioCaptureSource capture;
    PulseAudioDeviceCatalog catalog;
    AudioDeviceManager devices{queue, catalog};
    PulseSoundServerProbe soundServer;
    X11DisplayAccessProbe display;
    DBusDesktopNotifier notifier;
    XdgOpenUrlOpener urlOpener;
    PermissionManager permissions{soundServer, display, notifier, urlOpener, installedHelpPage("keyboard-access.html")};
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(RecorderIntegrationTest, SpeechPlayedIntoTheSpeakerIsRecordedAsA16kMonoFloatWave) {
    const fs::path speech = folder / "speech.wav";
    ASSERT_EQ(std::system(("espeak-ng -w '" + speech.string() + "' 'Quonvera records what the microphone hears'")
                              .c_str()),
              0);
    auto engine = makeEngine();
    engine->enableStreaming();
    const auto start = Clock::now();
    engine->startRecording();
    ASSERT_TRUE(engine->isRecording()) << (delegate->errors.empty() ? "" : delegate->errors[0].description());
    ASSERT_EQ(std::system(("paplay --device=quonvera_speaker '" + speech.string() + "'").c_str()), 0);
    test::pumpQtEventsFor(std::chrono::milliseconds(300));
    engine->stopRecording();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    test::pumpQtEventsFor(std::chrono::milliseconds(50));

    ASSERT_TRUE(delegate->finished.has_value());
    const Wave wave = readWave(*delegate->finished);
    EXPECT_EQ(wave.info.samplerate, 16000);
    EXPECT_EQ(wave.info.channels, 1);
    EXPECT_EQ(wave.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const double recorded = static_cast<double>(wave.info.frames) / 16000.0;
    EXPECT_NEAR(recorded, elapsed, 0.25) << "recorded " << recorded << " s in " << elapsed << " s";
    EXPECT_GT(wave.rms(), 0.01);

    // About one level report per 85 ms, and speech shows on the bars.
    EXPECT_NEAR(static_cast<double>(delegate->levels.size()), elapsed / 0.0853, elapsed / 0.0853 * 0.25);
    double loudest = 0;
    for (const auto& bars : delegate->levels) loudest = std::max(loudest, *std::max_element(bars.begin(), bars.end()));
    EXPECT_GT(loudest, 0.4);
    ASSERT_FALSE(delegate->windows.empty());
    EXPECT_LE(delegate->windows.size(), static_cast<std::size_t>(elapsed / 0.5) + 1);
}

TEST_F(RecorderIntegrationTest, LoadingAndUnloadingASourceAddsAndRemovesADeviceWithinASecond) {
    const auto& listed = devices.inputDevices().get();
    EXPECT_TRUE(devices.deviceForUID("quonvera_mic").has_value());
    EXPECT_EQ(devices.deviceForUID("quonvera_mic")->name, "Quonvera_Microphone");
    EXPECT_FALSE(devices.deviceForUID("quonvera_speaker.monitor").has_value()) << "monitors are not inputs";
    EXPECT_EQ(devices.defaultInputDeviceUID().get(), "quonvera_mic");
    const std::size_t before = listed.size();

    const std::string module = run("pactl load-module module-sine-source source_name=quonvera_plugged");
    ASSERT_FALSE(module.empty());
    EXPECT_TRUE(test::pumpQtEventsUntil([&] { return devices.deviceForUID("quonvera_plugged").has_value(); },
                          std::chrono::milliseconds(1000)));
    EXPECT_EQ(devices.deviceForUID("quonvera_plugged")->name,
              run("pactl list sources | sed -n '/Name: quonvera_plugged$/,/Description/s/.*Description: //p'"));
    EXPECT_EQ(devices.inputDevices().get().size(), before + 1);

    ASSERT_EQ(std::system(("pactl unload-module " + module).c_str()), 0);
    EXPECT_TRUE(test::pumpQtEventsUntil([&] { return !devices.deviceForUID("quonvera_plugged").has_value(); },
                          std::chrono::milliseconds(1000)));
    EXPECT_EQ(devices.inputDevices().get().size(), before);
}

TEST_F(RecorderIntegrationTest, ASourceSelectedByUidIsRecordedFrom) {
    const std::string module = run(
        "pactl load-module module-sine-source source_name=quonvera_tone rate=16000 frequency=440");
    ASSERT_FALSE(module.empty());
    ASSERT_TRUE(test::pumpQtEventsUntil([&] { return devices.deviceForUID("quonvera_tone").has_value(); },
                          std::chrono::milliseconds(1000)));
    LogCapture log;
    auto engine = makeEngine();
    engine->setInputDevice("quonvera_tone");
    engine->startRecording();
    ASSERT_TRUE(engine->isRecording()) << (delegate->errors.empty() ? "" : delegate->errors[0].description());
    test::pumpQtEventsFor(std::chrono::milliseconds(800));
    engine->stopRecording();
    std::system(("pactl unload-module " + module).c_str());

    EXPECT_TRUE(log.contains("AudioEngine: Successfully set input device to quonvera_tone"));
    ASSERT_TRUE(delegate->finished.has_value());
    const Wave wave = readWave(*delegate->finished);
    // The default microphone hears nothing here; the tone source plays a sine.
    EXPECT_GT(wave.rms(), 0.05);
    std::size_t crossings = 0;
    for (std::size_t i = 1; i < wave.samples.size(); ++i)
        if ((wave.samples[i - 1] < 0) != (wave.samples[i] < 0)) ++crossings;
    const double frequency = crossings / 2.0 / (static_cast<double>(wave.samples.size()) / 16000.0);
    EXPECT_NEAR(frequency, 440.0, 30.0);
}

TEST_F(RecorderIntegrationTest, WithoutASoundServerRecordingFailsWithAClearError) {
    const char* previous = std::getenv("PULSE_SERVER");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("PULSE_SERVER", ("unix:" + (folder / "no-such-socket").string()).c_str(), 1);
    {
        LogCapture log;
        PulseAudioCaptureSource noServerCapture;
        PulseAudioDeviceCatalog noServerCatalog;
        AudioDeviceManager noServerDevices(queue, noServerCatalog);
        EXPECT_TRUE(noServerDevices.inputDevices().get().empty());
        EXPECT_FALSE(permissions.microphoneAuthorized());

        AudioEngine engine(queue, noServerCapture, noServerDevices, permissions, folder / "recordings");
        engine.setDelegate(delegate);
        engine.startRecording();
        EXPECT_TRUE(test::pumpQtEventsUntil([&] { return !delegate->errors.empty(); }, std::chrono::milliseconds(3000)));
        EXPECT_FALSE(engine.isRecording());
        ASSERT_EQ(delegate->errors.size(), 1u);
        const std::string description = delegate->errors[0].description();
        EXPECT_TRUE(description.starts_with("Cannot connect to the sound server: ")) << description;
        EXPECT_TRUE(log.contains("AudioEngine: Failed to start recording: " + description));
        EXPECT_EQ(log.linesStartingWith("AudioDeviceManager: Failed to get devices: ").size(), 1u);
    }
    if (previous != nullptr) {
        ::setenv("PULSE_SERVER", saved.c_str(), 1);
    } else {
        ::unsetenv("PULSE_SERVER");
    }
}

}  // namespace
}  // namespace quonvera
