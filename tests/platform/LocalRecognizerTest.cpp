#include "platform/linux/LocalRecognizerFactory.h"

#include "core/BackgroundTasks.h"
#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "models/Settings.h"
#include "platform/fake/InMemoryUserDefaults.h"
#include "services/TranscriptionEngine.h"
#include "support/TemporaryFolder.h"

#ifdef QUONVERA_HAVE_WHISPER
#include "platform/whisper/WhisperCppRecognizer.h"
#include "services/ModelDownloader.h"
#endif

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace quonvera {
namespace {

// Two seconds of a 16000 Hz mono 32-bit float recording, as the recorder writes them.
std::filesystem::path writeShortRecording(const std::filesystem::path& file) {
    SF_INFO info{};
    info.samplerate = 16000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* sound = sf_open(file.c_str(), SFM_WRITE, &info);
    std::vector<float> samples(32000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.3f * static_cast<float>(std::sin(2.0 * M_PI * 220.0 * static_cast<double>(i) / 16000.0));
    sf_writef_float(sound, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(sound);
    return file;
}

#ifdef QUONVERA_HAVE_WHISPER

// A small ggml model to run, e.g. whisper.cpp's models/for-tests-ggml-tiny.bin; the words it
// produces do not matter, only that loading and decoding run and return.
std::optional<std::filesystem::path> testModel() {
    const char* path = std::getenv("QUONVERA_TEST_WHISPER_MODEL");
    if (!path || !*path) return std::nullopt;
    return std::filesystem::path(path);
}

TEST(WhisperCppRecognizerTest, LoadsAModelAndTranscribesAShortRecording) {
    const auto model = testModel();
    if (!model) GTEST_SKIP() << "set QUONVERA_TEST_WHISPER_MODEL to a ggml model file to run whisper.cpp";
    test::TemporaryFolder folder;
    const auto recording = writeShortRecording(folder / "short.wav");
    const char* audio = std::getenv("QUONVERA_TEST_WHISPER_AUDIO");  // optionally a real speech file

    auto recognizer = WhisperCppRecognizer::load(*model, true, {});
    ASSERT_TRUE(recognizer.ok()) << recognizer.error().details;
    const auto fromFile = recognizer.value()->transcribeFile(audio && *audio ? audio : recording.c_str(), {});
    ASSERT_TRUE(fromFile.ok()) << fromFile.error().details;
    const auto fromSamples =
        recognizer.value()->transcribeSamples(std::vector<float>(16000, 0.0f), DecodingOptions::streaming(), {});
    ASSERT_TRUE(fromSamples.ok()) << fromSamples.error().details;

    std::stop_source stop;
    stop.request_stop();
    const auto stopped = recognizer.value()->transcribeFile(recording, stop.get_token());
    ASSERT_FALSE(stopped.ok());
}

TEST(WhisperCppRecognizerTest, FactoryLoadsAModelFileAlreadyInTheModelFolder) {
    const auto model = testModel();
    if (!model) GTEST_SKIP() << "set QUONVERA_TEST_WHISPER_MODEL to a ggml model file to run whisper.cpp";
    test::TemporaryFolder folder;
    std::filesystem::copy_file(*model, folder / "ggml-tiny.bin");
    // Any download attempt fails: nothing listens there.
    WhisperCppRecognizerFactory factory(folder.path(), "http://127.0.0.1:9", std::make_shared<ModelDownloader>());

    const auto created = factory.create({"openai_whisper-tiny"}, {});
    ASSERT_TRUE(created.ok()) << created.error().details;
    const auto missing = factory.create({"openai_whisper-base"}, {});
    ASSERT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error().message.starts_with("Download of ggml-base.bin failed after 3 attempts"))
        << missing.error().message;
}

TEST(WhisperCppRecognizerTest, UnreadableModelFileFailsTheCreation) {
    test::TemporaryFolder folder;
    std::ofstream(folder / "ggml-tiny.bin") << "not a model";
    auto recognizer = WhisperCppRecognizer::load(folder / "ggml-tiny.bin", false, {});
    ASSERT_FALSE(recognizer.ok());
    EXPECT_EQ(recognizer.error().message, "Cannot load the speech model ggml-tiny.bin");
}

#else

TEST(WhisperCppRecognizerTest, LoadsAModelAndTranscribesAShortRecording) {
    GTEST_SKIP() << "whisper.cpp is not part of this build (configure with -DQUONVERA_WHISPER=ON and a reachable "
                    "or local whisper.cpp, see FETCHCONTENT_SOURCE_DIR_WHISPER)";
}

// Without whisper.cpp every model initialisation fails with a clear reason and the cloud carries
// every recording.
TEST(LocalRecognizerFactoryTest, BuildWithoutWhisperFailsInitializationAndUsesTheCloud) {
    class Cloud final : public CloudTranscriptionServiceInterface {
    public:
        Result<std::string, CloudTranscriptionError> transcribe(const std::filesystem::path&, std::stop_token) override {
            return std::string("from the cloud");
        }
        bool isConnected() const override { return true; }
    };
    class Delegate final : public TranscriptionEngineDelegate {
    public:
        void transcriptionEngineDidStartTranscription() override {}
        void transcriptionEngineDidComplete(const std::string& text) override { completed = text; }
        void transcriptionEngineDidFail(const TranscriptionError& error) override { failure = error.description(); }
        void transcriptionEngineDidStartModelDownload() override {}
        void transcriptionEngineDidFinishModelDownload() override {}
        void transcriptionEngineDidReceivePartialText(const std::string&, const std::string&) override {}
        void transcriptionEngineDidReviseText(const std::string&, const std::string&) override {}
        std::optional<std::string> completed;
        std::optional<std::string> failure;
    };
    test::TemporaryFolder folder;
    ManualMainQueue queue;
    BackgroundTasks tasks(queue);
    InMemoryUserDefaults defaults;
    Settings settings(defaults);
    auto delegate = std::make_shared<Delegate>();
    TranscriptionEngine engine(settings, queue, tasks, std::make_shared<Cloud>(),
                               makeLocalRecognizerFactory(AppDirectories::under(folder.path())));
    engine.setDelegate(delegate);

    engine.startBackgroundDownload();
    ASSERT_TRUE(queue.waitFor([&] { return delegate->failure.has_value(); }));
    EXPECT_EQ(*delegate->failure, std::string("Failed to initialize transcription model: ") + kLocalTranscriptionUnavailable);

    engine.transcribe(writeShortRecording(folder / "one.wav"));
    ASSERT_TRUE(queue.waitFor([&] { return delegate->completed.has_value(); }));
    EXPECT_EQ(*delegate->completed, "from the cloud");
    EXPECT_TRUE(engine.isUsingCloud());
    EXPECT_FALSE(engine.isModelReady());
    tasks.waitForAll();
}

#endif

}  // namespace
}  // namespace quonvera
