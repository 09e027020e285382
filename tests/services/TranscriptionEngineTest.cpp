#include "services/TranscriptionEngine.h"

#include "core/BackgroundTasks.h"
#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "models/Settings.h"
#include "platform/fake/FakeOnDeviceRecognizer.h"
#include "platform/fake/InMemoryUserDefaults.h"
#include "support/TemporaryFolder.h"

#include <deque>
#include <fstream>
#include <gtest/gtest.h>

namespace quonvera {
namespace {

using Events = std::vector<std::string>;

// The cloud client as the router sees it: scripted answers, calls that can be held.
class ScriptedCloudService final : public CloudTranscriptionServiceInterface {
public:
    Result<std::string, CloudTranscriptionError> transcribe(const std::filesystem::path& audioFile,
                                                            std::stop_token stopToken) override {
        {
            std::lock_guard lock(mutex_);
            files_.push_back(audioFile);
        }
        const bool proceed = gate.enter(stopToken);
        gate.leave();
        if (!proceed) return CloudTranscriptionError{CloudTranscriptionError::Kind::cancelled, "", 0};
        std::lock_guard lock(mutex_);
        if (queued_.empty()) return std::string("cloud text");
        auto result = std::move(queued_.front());
        queued_.pop_front();
        return result;
    }
    bool isConnected() const override { return true; }

    void queue(Result<std::string, CloudTranscriptionError> result) {
        std::lock_guard lock(mutex_);
        queued_.push_back(std::move(result));
    }
    std::vector<std::filesystem::path> files() const {
        std::lock_guard lock(mutex_);
        return files_;
    }

    FakeCallGate gate;

private:
    mutable std::mutex mutex_;
    std::deque<Result<std::string, CloudTranscriptionError>> queued_;
    std::vector<std::filesystem::path> files_;
};

class RecordingDelegate final : public TranscriptionEngineDelegate {
public:
    void transcriptionEngineDidStartTranscription() override { events.push_back("started"); }
    void transcriptionEngineDidComplete(const std::string& text) override { events.push_back("complete:" + text); }
    void transcriptionEngineDidFail(const TranscriptionError& error) override {
        events.push_back("fail:" + error.description());
    }
    void transcriptionEngineDidStartModelDownload() override { events.push_back("downloadStarted"); }
    void transcriptionEngineDidFinishModelDownload() override { events.push_back("downloadFinished"); }
    void transcriptionEngineDidReceivePartialText(const std::string& text, const std::string& delta) override {
        events.push_back("partial:" + text + "|" + delta);
    }
    void transcriptionEngineDidReviseText(const std::string& oldText, const std::string& newText) override {
        events.push_back("revise:" + oldText + "|" + newText);
    }

    Events events;
    bool contains(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
    bool completedOrFailed() const {
        return std::any_of(events.begin(), events.end(),
                           [](const std::string& e) { return e.starts_with("complete:") || e.starts_with("fail:"); });
    }
};

class TranscriptionEngineTest : public testing::Test {
protected:
    void SetUp() override {
        engine = std::make_unique<TranscriptionEngine>(settings, queue, tasks, cloud, factory);
        engine->setDelegate(delegate);
    }
    void TearDown() override {
        factory->gate.release();
        recognizer().gate.release();
        cloud->gate.release();
        engine.reset();
        tasks.waitForAll();
    }

    FakeOnDeviceRecognizer& recognizer() { return *factory->recognizer; }

    std::filesystem::path recording(const std::string& name) {
        const auto path = folder / (name + ".wav");
        std::ofstream(path) << "RIFF";
        return path;
    }

    // Loads the selected model and forgets what that reported.
    void loadModel() {
        engine->startBackgroundDownload();
        ASSERT_TRUE(queue.waitFor([&] { return engine->isModelReady(); }));
        delegate->events.clear();
        log.clear();
    }

    // Runs the main queue, then waits until `count` calls reached the gate.
    bool started(FakeCallGate& gate, int count) {
        queue.runUntilIdle();
        return gate.waitForCalls(count);
    }

    bool waitUntilDelivered() { return queue.waitFor([&] { return delegate->completedOrFailed(); }); }

    // Lets background work that is not held finish and its completions run.
    void settle() {
        tasks.waitForAll();
        queue.runUntilIdle();
    }

    LogCapture log;
    test::TemporaryFolder folder;
    ManualMainQueue queue;
    BackgroundTasks tasks{queue};
    InMemoryUserDefaults defaults;
    Settings settings{defaults};
    std::shared_ptr<ScriptedCloudService> cloud = std::make_shared<ScriptedCloudService>();
    std::shared_ptr<FakeOnDeviceRecognizerFactory> factory = std::make_shared<FakeOnDeviceRecognizerFactory>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::unique_ptr<TranscriptionEngine> engine;
};

// MARK: - Routing

enum class ModelState { ready, initializing, notReady };

struct RouteCase {
    const char* name;
    ModelState state;
    const char* routeLogLine;  // empty: none
    bool cloud;
};

class TranscriptionEngineRoutingTest : public TranscriptionEngineTest, public testing::WithParamInterface<RouteCase> {};

TEST_P(TranscriptionEngineRoutingTest, RoutesByModelStateAndDeletesTheTranscribedFile) {
    const RouteCase& route = GetParam();
    recognizer().setDefaultResult(FakeOnDeviceRecognizer::text({"local text"}));
    if (route.state == ModelState::ready) loadModel();
    if (route.state == ModelState::initializing) {
        factory->gate.hold();
        engine->startBackgroundDownload();
        ASSERT_TRUE(started(factory->gate, 1));
        queue.runUntilIdle();
        ASSERT_TRUE(engine->isInitializing());
    }
    log.clear();
    delegate->events.clear();
    const auto file = recording("one");

    engine->transcribe(file);
    ASSERT_TRUE(waitUntilDelivered());

    const std::string expectedText = route.cloud ? "cloud text" : "local text";
    EXPECT_EQ(delegate->events.front(), "started");
    EXPECT_TRUE(delegate->contains("complete:" + expectedText));
    EXPECT_EQ(engine->isUsingCloud(), route.cloud);
    EXPECT_FALSE(std::filesystem::exists(file));
    const std::string routeLogPrefix = "TranscriptionEngine: Model ";
    const auto routeLines = log.linesStartingWith(routeLogPrefix);
    if (*route.routeLogLine) {
        EXPECT_TRUE(log.contains(route.routeLogLine));
    } else {
        EXPECT_TRUE(routeLines.empty());
    }
    EXPECT_TRUE(log.contains(route.cloud ? "TranscriptionEngine: Transcribing via cloud: " + file.string()
                                         : "TranscriptionEngine: Transcribing locally: " + file.string()));
    EXPECT_TRUE(log.contains("TranscriptionEngine: Result: " + expectedText));
    EXPECT_EQ(cloud->files().size(), route.cloud ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TranscriptionEngineRoutingTest,
    testing::Values(RouteCase{"ready", ModelState::ready, "", false},
                    RouteCase{"initializing", ModelState::initializing,
                              "TranscriptionEngine: Model initializing, using cloud fallback", true},
                    RouteCase{"notReady", ModelState::notReady, "TranscriptionEngine: Model not ready, using cloud fallback",
                              true}),
    [](const testing::TestParamInfo<RouteCase>& info) { return std::string(info.param.name); });

TEST_F(TranscriptionEngineTest, FirstCloudRecordingStartsTheDownloadAndALaterOneSeesItInitializing) {
    factory->gate.hold();
    engine->transcribe(recording("first"));
    ASSERT_TRUE(waitUntilDelivered());
    ASSERT_TRUE(started(factory->gate, 1));
    EXPECT_EQ(factory->modelIdentifiers(), (std::vector<std::string>{"openai_whisper-large-v3_turbo"}));
    EXPECT_EQ(log.linesStartingWith("TranscriptionEngine: Starting background model download for "),
              (std::vector<std::string>{
                  "TranscriptionEngine: Starting background model download for Large V3 Turbo (recommended)"}));
    EXPECT_TRUE(log.contains("TranscriptionEngine: This will download ~1.6 GB - please wait..."));
    EXPECT_EQ(delegate->events, (Events{"started", "downloadStarted", "complete:cloud text"}));

    delegate->events.clear();
    engine->transcribe(recording("second"));
    ASSERT_TRUE(waitUntilDelivered());
    EXPECT_TRUE(log.contains("TranscriptionEngine: Model initializing, using cloud fallback"));
    EXPECT_EQ(delegate->events, (Events{"started", "complete:cloud text"}));
    EXPECT_EQ(factory->gate.callCount(), 1);

    factory->gate.release();
    ASSERT_TRUE(queue.waitFor([&] { return engine->isModelReady(); }));
    EXPECT_EQ(engine->currentModel(), WhisperModel::largeV3Turbo);
    EXPECT_EQ(delegate->events.back(), "downloadFinished");
}

TEST_F(TranscriptionEngineTest, NewlySelectedModelIsLoadedBeforeALocalTranscription) {
    settings.whisperModel = WhisperModel::tiny;
    loadModel();
    settings.whisperModel = WhisperModel::base;
    recognizer().setDefaultResult(FakeOnDeviceRecognizer::text({"local text"}));

    engine->transcribe(recording("one"));
    ASSERT_TRUE(waitUntilDelivered());

    EXPECT_EQ(factory->modelIdentifiers(), (std::vector<std::string>{"openai_whisper-tiny", "openai_whisper-base"}));
    EXPECT_EQ(delegate->events, (Events{"started", "downloadStarted", "downloadFinished", "complete:local text"}));
    EXPECT_EQ(engine->currentModel(), WhisperModel::base);
    EXPECT_FALSE(engine->isUsingCloud());
}

TEST_F(TranscriptionEngineTest, NewlySelectedModelThatFailsToLoadFallsBackToTheCloud) {
    settings.whisperModel = WhisperModel::tiny;
    loadModel();
    settings.whisperModel = WhisperModel::medium;
    factory->queueFailure(RecognizerError::withMessage("no space left"));
    const auto file = recording("one");

    engine->transcribe(file);
    ASSERT_TRUE(queue.waitFor([&] { return delegate->contains("complete:cloud text"); }));

    EXPECT_EQ(delegate->events,
              (Events{"started", "downloadStarted", "downloadFinished",
                      "fail:Failed to initialize transcription model: no space left", "complete:cloud text"}));
    EXPECT_TRUE(log.contains("TranscriptionEngine: Local model not ready, falling back to cloud"));
    EXPECT_EQ(engine->currentModel(), WhisperModel::tiny);
    EXPECT_FALSE(engine->isModelReady());
    EXPECT_FALSE(std::filesystem::exists(file));
}

// MARK: - Result text

struct TextCase {
    std::vector<std::string> segments;
    std::string expected;
};

class TranscriptionEngineTextTest : public TranscriptionEngineTest, public testing::WithParamInterface<TextCase> {};

TEST_P(TranscriptionEngineTextTest, LocalSegmentsAreJoinedAndTrimmed) {
    loadModel();
    recognizer().setDefaultResult(FakeOnDeviceRecognizer::text(GetParam().segments));
    engine->transcribe(recording("one"));
    ASSERT_TRUE(waitUntilDelivered());
    EXPECT_EQ(delegate->events, (Events{"started", "complete:" + GetParam().expected}));
}

INSTANTIATE_TEST_SUITE_P(Table, TranscriptionEngineTextTest,
                         testing::Values(TextCase{{" Hello", "world.\n"}, "Hello world."},
                                         TextCase{{" \n", "\t "}, ""},  // whitespace only: empty text
                                         TextCase{{}, ""},
                                         TextCase{{"\xC2\xA0" "Caf\xC3\xA9\xE2\x80\x83"}, "Caf\xC3\xA9"},
                                         TextCase{{"a", "", "b"}, "a  b"}));

TEST_F(TranscriptionEngineTest, CloudTextIsUsedAsReturned) {
    cloud->queue(std::string(" Spaced text "));
    engine->transcribe(recording("one"));
    ASSERT_TRUE(waitUntilDelivered());
    EXPECT_TRUE(delegate->contains("complete: Spaced text "));
}

// MARK: - Failures

TEST_F(TranscriptionEngineTest, LocalFailureIsReportedWithoutCloudRetryAndKeepsTheFile) {
    loadModel();
    RecognizerError error{"decoder broke", "decoder broke at window 3"};
    recognizer().setDefaultResult(error);
    const auto file = recording("one");

    engine->transcribe(file);
    ASSERT_TRUE(waitUntilDelivered());

    EXPECT_EQ(delegate->events, (Events{"started", "fail:Transcription failed: decoder broke"}));
    EXPECT_TRUE(log.contains("TranscriptionEngine: Local transcription failed: decoder broke at window 3"));
    EXPECT_TRUE(cloud->files().empty());
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(TranscriptionEngineTest, CloudFailureIsReportedAndKeepsTheFile) {
    factory->gate.hold();  // the model stays initialising
    cloud->queue(CloudTranscriptionError{CloudTranscriptionError::Kind::serverError, "", 503});
    const auto file = recording("one");

    engine->transcribe(file);
    ASSERT_TRUE(waitUntilDelivered());

    EXPECT_EQ(delegate->events.back(), "fail:Cloud transcription failed: Server error (code 503). Please try again.");
    EXPECT_TRUE(log.contains("TranscriptionEngine: Cloud transcription failed: Server error (code 503). Please try again."));
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(TranscriptionEngineTest, FailedModelInitializationSendsFinishThenFail) {
    factory->queueFailure(RecognizerError{"model file is corrupt", "ggml: bad magic in ggml-tiny.bin"});
    engine->startBackgroundDownload();
    ASSERT_TRUE(waitUntilDelivered());

    EXPECT_EQ(delegate->events, (Events{"downloadStarted", "downloadFinished",
                                        "fail:Failed to initialize transcription model: model file is corrupt"}));
    EXPECT_TRUE(log.contains("TranscriptionEngine: Model initialization failed after 0.0s: model file is corrupt"));
    EXPECT_TRUE(log.contains("TranscriptionEngine: Full error details: ggml: bad magic in ggml-tiny.bin"));
    EXPECT_FALSE(engine->isInitializing());
    EXPECT_FALSE(engine->isModelReady());

    // No retry timer: the next routed recording tries again.
    delegate->events.clear();
    engine->transcribe(recording("next"));
    ASSERT_TRUE(queue.waitFor([&] { return engine->isModelReady(); }));
    EXPECT_EQ(factory->gate.callCount(), 2);
}

TEST_F(TranscriptionEngineTest, ModelLifecycleLogsAndSkips) {
    loadModel();
    engine->startBackgroundDownload();
    EXPECT_TRUE(log.contains("TranscriptionEngine: Skipping download - isInitializing: false, isModelReady: true"));

    engine->reloadModelIfNeeded();  // the selected model is the ready one
    settle();
    EXPECT_EQ(factory->gate.callCount(), 1);

    settings.whisperModel = WhisperModel::small;
    engine->reloadModelIfNeeded();
    ASSERT_TRUE(queue.waitFor([&] { return engine->currentModel() == WhisperModel::small; }));
    EXPECT_EQ(factory->modelIdentifiers().back(), "openai_whisper-small");
    EXPECT_TRUE(log.contains("TranscriptionEngine: Model initialized in 0.0s"));
}

// MARK: - Cancellation

struct SupersedeCase {
    const char* name;
    bool local;
};

class TranscriptionEngineSupersedeTest : public TranscriptionEngineTest,
                                         public testing::WithParamInterface<SupersedeCase> {};

TEST_P(TranscriptionEngineSupersedeTest, LaterTranscribeCancelsTheEarlierOne) {
    FakeCallGate* gate = &cloud->gate;
    if (GetParam().local) {
        loadModel();
        recognizer().setDefaultResult(FakeOnDeviceRecognizer::text({"local text"}));
        gate = &recognizer().gate;
    } else {
        factory->gate.hold();
    }
    gate->hold();
    const auto first = recording("first");
    const auto second = recording("second");

    engine->transcribe(first);
    queue.runUntilIdle();
    ASSERT_TRUE(started(*gate, 1));
    engine->transcribe(second);
    queue.runUntilIdle();
    ASSERT_TRUE(started(*gate, 2));
    gate->release();
    ASSERT_TRUE(waitUntilDelivered());
    factory->gate.release();
    settle();
    std::erase_if(delegate->events, [](const std::string& e) { return e.starts_with("download"); });

    const std::string text = GetParam().local ? "local text" : "cloud text";
    EXPECT_EQ(delegate->events, (Events{"started", "started", "complete:" + text}));
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
}

INSTANTIATE_TEST_SUITE_P(Routes, TranscriptionEngineSupersedeTest,
                         testing::Values(SupersedeCase{"local", true}, SupersedeCase{"cloud", false}),
                         [](const testing::TestParamInfo<SupersedeCase>& info) { return std::string(info.param.name); });

TEST_F(TranscriptionEngineTest, CancelTranscriptionSilencesTheRunningTask) {
    loadModel();
    recognizer().gate.hold();
    const auto file = recording("one");
    engine->transcribe(file);
    queue.runUntilIdle();
    ASSERT_TRUE(started(recognizer().gate, 1));

    engine->cancelTranscription();
    recognizer().gate.release();
    settle();

    EXPECT_EQ(delegate->events, (Events{"started"}));
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(TranscriptionEngineTest, CancellingAnInitializationInsideATranscriptionEndsTheDownloadState) {
    settings.whisperModel = WhisperModel::tiny;
    loadModel();
    settings.whisperModel = WhisperModel::base;
    factory->gate.hold();
    engine->transcribe(recording("one"));
    queue.runUntilIdle();
    ASSERT_TRUE(started(factory->gate, 2));
    ASSERT_TRUE(engine->isInitializing());

    engine->cancelTranscription();
    factory->gate.release();
    settle();

    EXPECT_FALSE(engine->isInitializing());
    EXPECT_EQ(delegate->events, (Events{"started", "downloadStarted", "downloadFinished"}));
    // The next recording is not stuck behind the abandoned initialisation.
    engine->transcribe(recording("two"));
    ASSERT_TRUE(waitUntilDelivered());
    EXPECT_TRUE(delegate->contains("complete:cloud text"));
}

TEST_F(TranscriptionEngineTest, DestroyingTheEngineMidTaskNotifiesNobody) {
    cloud->gate.hold();
    factory->gate.hold();
    engine->transcribe(recording("one"));
    queue.runUntilIdle();
    ASSERT_TRUE(started(cloud->gate, 1));
    delegate->events.clear();

    engine.reset();
    cloud->gate.release();
    factory->gate.release();
    settle();
    EXPECT_TRUE(delegate->events.empty());
}

// MARK: - Streaming

TEST_F(TranscriptionEngineTest, StreamingNeedsAReadyModel) {
    engine->startStreamingSession();
    EXPECT_TRUE(log.contains("TranscriptionEngine: Cannot start streaming - model not ready"));
    EXPECT_FALSE(engine->isStreamingActive());
    engine->processStreamingSamples(std::vector<float>(32000), 16000);
    settle();
    EXPECT_EQ(recognizer().gate.callCount(), 0);
}

struct StreamingCase {
    const char* name;
    std::vector<std::string> results;  // one per pass
    Events events;
    std::string lastStreamedText;
};

class TranscriptionEngineStreamingTest : public TranscriptionEngineTest,
                                         public testing::WithParamInterface<StreamingCase> {};

TEST_P(TranscriptionEngineStreamingTest, PassesReportFirstExtendedAndRevisedText) {
    loadModel();
    engine->startStreamingSession();
    ASSERT_TRUE(log.contains("TranscriptionEngine: Started streaming session"));
    for (const auto& result : GetParam().results) {
        recognizer().queueResult(FakeOnDeviceRecognizer::text({result}));
        engine->processStreamingSamples(std::vector<float>(16000), 16000);
        ASSERT_TRUE(engine->isStreamingTranscriptionInProgress());
        ASSERT_TRUE(queue.waitFor([&] { return !engine->isStreamingTranscriptionInProgress(); }));
    }
    EXPECT_EQ(delegate->events, GetParam().events);
    EXPECT_EQ(engine->lastStreamedText(), GetParam().lastStreamedText);
    EXPECT_EQ(log.linesStartingWith("TranscriptionEngine: Streaming result: ").size(), GetParam().results.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TranscriptionEngineStreamingTest,
    testing::Values(StreamingCase{"first", {"Hello"}, {"partial:Hello|Hello"}, "Hello"},
                    StreamingCase{"extension", {"Hello", "Hello world"}, {"partial:Hello|Hello", "partial:Hello world| world"},
                                  "Hello world"},
                    StreamingCase{"revision", {"Hello", "Hello world", "Yellow world"},
                                  {"partial:Hello|Hello", "partial:Hello world| world", "revise:Hello world|Yellow world"},
                                  "Yellow world"},
                    StreamingCase{"sameText", {"Hello", "Hello"}, {"partial:Hello|Hello"}, "Hello"},
                    StreamingCase{"emptyText", {"Hello", " "}, {"partial:Hello|Hello"}, "Hello"}),
    [](const testing::TestParamInfo<StreamingCase>& info) { return std::string(info.param.name); });

TEST_F(TranscriptionEngineTest, StreamingLogLinesNameTheCaseAndQuoteTheTexts) {
    loadModel();
    engine->startStreamingSession();
    for (const char* text : {"Hi", "Hi there", "Bye"}) {
        recognizer().queueResult(FakeOnDeviceRecognizer::text({text}));
        engine->processStreamingSamples(std::vector<float>(16000), 16000);
        ASSERT_TRUE(queue.waitFor([&] { return !engine->isStreamingTranscriptionInProgress(); }));
    }
    EXPECT_EQ(log.linesStartingWith("TranscriptionEngine: Streaming"),
              (std::vector<std::string>{"TranscriptionEngine: Streaming result: 'Hi' (previous: '')",
                                        "TranscriptionEngine: Streaming - first result",
                                        "TranscriptionEngine: Streaming result: 'Hi there' (previous: 'Hi')",
                                        "TranscriptionEngine: Streaming - appending delta",
                                        "TranscriptionEngine: Streaming result: 'Bye' (previous: 'Hi there')",
                                        "TranscriptionEngine: Streaming - text revised"}));
    const auto options = recognizer().lastOptions();
    ASSERT_TRUE(options.has_value());
    EXPECT_EQ(options->language, "en");
    EXPECT_TRUE(options->withoutTimestamps);
    EXPECT_FALSE(options->suppressBlank);
    EXPECT_EQ(options->sampleLength, 224);
}

TEST_F(TranscriptionEngineTest, StreamingNeedsOneSecondOfAudio) {
    loadModel();
    engine->startStreamingSession();
    engine->processStreamingSamples(std::vector<float>(15999), 16000);
    settle();
    EXPECT_EQ(recognizer().gate.callCount(), 0);
    EXPECT_TRUE(log.linesStartingWith("TranscriptionEngine: Processing").empty());

    engine->processStreamingSamples(std::vector<float>(16000), 16000);
    ASSERT_TRUE(started(recognizer().gate, 1));
    EXPECT_TRUE(log.contains("TranscriptionEngine: Processing 16000 samples for streaming"));
    EXPECT_EQ(recognizer().sampleCounts(), (std::vector<std::size_t>{16000}));
}

TEST_F(TranscriptionEngineTest, StreamingPassesNeverOverlap) {
    loadModel();
    engine->startStreamingSession();
    recognizer().gate.hold();
    engine->processStreamingSamples(std::vector<float>(16000), 16000);
    ASSERT_TRUE(started(recognizer().gate, 1));
    engine->processStreamingSamples(std::vector<float>(24000), 16000);  // dropped: a pass is running
    queue.runUntilIdle();
    EXPECT_FALSE(log.contains("TranscriptionEngine: Processing 24000 samples for streaming"));

    recognizer().gate.release();
    ASSERT_TRUE(queue.waitFor([&] { return !engine->isStreamingTranscriptionInProgress(); }));
    engine->processStreamingSamples(std::vector<float>(32000), 16000);
    ASSERT_TRUE(queue.waitFor([&] { return !engine->isStreamingTranscriptionInProgress(); }));

    EXPECT_EQ(recognizer().sampleCounts(), (std::vector<std::size_t>{16000, 32000}));
    EXPECT_EQ(recognizer().gate.maxConcurrentCalls(), 1);
}

TEST_F(TranscriptionEngineTest, FailedStreamingPassOnlyLogsAndTheNextDeliveryTriesAgain) {
    loadModel();
    engine->startStreamingSession();
    recognizer().queueResult(RecognizerError::withMessage("out of memory"));
    engine->processStreamingSamples(std::vector<float>(16000), 16000);
    ASSERT_TRUE(queue.waitFor([&] { return !engine->isStreamingTranscriptionInProgress(); }));
    EXPECT_TRUE(log.contains("TranscriptionEngine: Streaming transcription error: out of memory"));
    EXPECT_TRUE(delegate->events.empty());

    recognizer().queueResult(FakeOnDeviceRecognizer::text({"Hello"}));
    engine->processStreamingSamples(std::vector<float>(20000), 16000);
    ASSERT_TRUE(queue.waitFor([&] { return !delegate->events.empty(); }));
    EXPECT_EQ(delegate->events, (Events{"partial:Hello|Hello"}));
}

TEST_F(TranscriptionEngineTest, EndingTheSessionSilencesTheRunningPassAndAllowsANewSession) {
    loadModel();
    engine->startStreamingSession();
    recognizer().gate.hold();
    recognizer().queueResult(FakeOnDeviceRecognizer::text({"stale"}));
    engine->processStreamingSamples(std::vector<float>(16000), 16000);
    ASSERT_TRUE(started(recognizer().gate, 1));

    engine->endStreamingSession();
    EXPECT_TRUE(log.contains("TranscriptionEngine: Ended streaming session"));
    EXPECT_FALSE(engine->isStreamingActive());
    recognizer().gate.release();
    settle();
    EXPECT_TRUE(delegate->events.empty());

    engine->startStreamingSession();
    recognizer().queueResult(FakeOnDeviceRecognizer::text({"fresh"}));
    engine->processStreamingSamples(std::vector<float>(16000), 16000);
    ASSERT_TRUE(queue.waitFor([&] { return !delegate->events.empty(); }));
    EXPECT_EQ(delegate->events, (Events{"partial:fresh|fresh"}));
}

TEST_F(TranscriptionEngineTest, TranscribeDuringStreamingDoesNotBlockLaterPasses) {
    loadModel();
    engine->startStreamingSession();
    recognizer().gate.hold();
    engine->processStreamingSamples(std::vector<float>(16000), 16000);
    ASSERT_TRUE(started(recognizer().gate, 1));
    engine->transcribe(recording("final"));  // cancels the pass
    EXPECT_FALSE(engine->isStreamingTranscriptionInProgress());
    recognizer().gate.release();
    ASSERT_TRUE(waitUntilDelivered());
}

}  // namespace
}  // namespace quonvera
