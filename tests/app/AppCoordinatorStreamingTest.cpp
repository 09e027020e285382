// Streaming dictation: live text while speaking, revisions, and the reconciliation with the
// final transcript.

#include "support/CoordinatorFixture.h"
#include "support/TemporaryFolder.h"

#include <fstream>

namespace quonvera::test {
namespace {

const std::string kDecomposed = "Cafe\xCC\x81";  // Café with a combining accent
const std::string kPrecomposed = "Caf\xC3\xA9";  // Café precomposed

class AppCoordinatorStreamingTest : public CoordinatorFixture {
protected:
    void SetUp() override {
        settings->streamingTranscription = true;
        router->modelReady = true;
        file = folder / "brem_recording_9.wav";
        std::ofstream(file) << "RIFF";
        audio->cancelFile = file;
    }
    void press() {
        coordinator->hotkeyManagerDidPressHotkey();
        settle();
    }
    void partial(const std::string& text, const std::string& delta) {
        coordinator->transcriptionEngineDidReceivePartialText(text, delta);
    }
    // Release: the recorder finishes and the router is asked for the final text.
    void release() {
        coordinator->hotkeyManagerDidReleaseHotkey();
        coordinator->audioEngineDidFinishRecording(file);
        settle();
    }
    void finalText(const std::string& text) {
        calls.clear();
        coordinator->transcriptionEngineDidComplete(text);
        settle();
    }

    TemporaryFolder folder;
    std::filesystem::path file;
};

TEST_F(AppCoordinatorStreamingTest, StartStreamsAndTypesTrimmedDeltasJoinedBySingleSpaces) {
    press();
    EXPECT_EQ(states, std::vector<AppState>{AppState::streamingTranscription()});
    EXPECT_EQ(calls, (std::vector<std::string>{"sound.Tink", "audio.enableStreaming", "router.startStreamingSession",
                                               "insert.startStreamingSession", "audio.startRecording"}));
    EXPECT_TRUE(log.contains("AppCoordinator: Starting streaming transcription"));

    calls.clear();
    coordinator->audioEngineDidAccumulateSamples(std::vector<float>(8000, 0.f));
    partial("Hello", "Hello");
    partial("Hello world", " world");
    partial("Hello world  ", "  \t");  // only spaces: nothing typed, text not updated
    partial("Hello world again", "");  // empty delta ignored
    partial("Hello world, friend", "\tfriend \t");
    EXPECT_EQ(calls, (std::vector<std::string>{"router.processStreamingSamples", "insert.insertStreamingText:Hello",
                                               "insert.insertStreamingText: world",
                                               "insert.insertStreamingText: friend"}));
    EXPECT_TRUE(log.contains("AppCoordinator: Streaming partial update - delta: ' world'"));
}

TEST_F(AppCoordinatorStreamingTest, WithoutAReadyModelAPressRecordsNormally) {
    router->modelReady = false;
    press();
    EXPECT_EQ(states, std::vector<AppState>{AppState::recording()});
    EXPECT_FALSE(coordinator->isStreamingSession());
    coordinator->audioEngineDidAccumulateSamples(std::vector<float>(10, 0.f));
    partial("Hello", "Hello");
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](auto& c) { return c.starts_with("insert.") || c.starts_with("router.process"); }), 0);
}

TEST_F(AppCoordinatorStreamingTest, RevisionDeletesExactlyTheCountedCharactersAndRetypes) {
    press();
    partial("I scream", "I scream");
    partial("I scream " + kDecomposed, " " + kDecomposed);  // 8 + 1 + 4 = 13 characters typed
    calls.clear();
    coordinator->transcriptionEngineDidReviseText("I scream " + kDecomposed, "Ice cream");
    EXPECT_EQ(calls, std::vector<std::string>{"insert.handleRevision:13:Ice cream"});
    EXPECT_TRUE(log.contains("AppCoordinator: Streaming revision - 'I scream " + kDecomposed + "' -> 'Ice cream'"));
    partial("Ice cream please", " please");
    EXPECT_EQ(calls.back(), "insert.insertStreamingText: please");
}

struct ReconcileRow {
    const char* name;
    std::vector<std::string> streamedDeltas;  // what the live phase typed
    std::string finalText;
    std::vector<std::string> calls;  // insertion calls at the end, in order
    std::optional<std::string> lastTranscription;
    std::vector<std::string> history;
};

class AppCoordinatorReconcileTest : public AppCoordinatorStreamingTest,
                                    public ::testing::WithParamInterface<ReconcileRow> {
protected:
    void SetUp() override { AppCoordinatorStreamingTest::SetUp(); }
};

TEST_P(AppCoordinatorReconcileTest, FinalTextIsReconciledWithTheLiveText) {
    const auto& row = GetParam();
    press();
    std::string full;
    for (const auto& delta : row.streamedDeltas) {
        full += delta;
        partial(full, delta);
    }
    release();
    EXPECT_EQ(coordinator->appState.get(), AppState::transcribing());
    finalText(row.finalText);

    EXPECT_EQ(calls, row.calls);
    EXPECT_EQ(coordinator->lastTranscription(), row.lastTranscription);
    std::vector<std::string> stored;
    for (const auto& item : history->items) {
        stored.push_back(item.text);
        EXPECT_TRUE(item.insertionSucceeded);
    }
    EXPECT_EQ(stored, row.history);
    EXPECT_FALSE(std::filesystem::exists(file)) << "the recording is deleted";
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
    EXPECT_FALSE(coordinator->isStreamingSession());
    EXPECT_TRUE(analytics->completedWithCloud.empty()) << "streaming records no completed transcription";
    EXPECT_EQ(enhancement->calls, 0) << "the final text is never enhanced";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppCoordinatorReconcileTest,
    ::testing::Values(
        ReconcileRow{"EmptyFinalKeepsLiveText", {"Hello"}, "", {"insert.commitStreamingSession"}, "Hello", {"Hello"}},
        ReconcileRow{"EmptyFinalNothingStreamed", {}, "", {"insert.commitStreamingSession"}, "", {}},
        ReconcileRow{"NothingStreamedTypesFinal", {}, "Hello there",
                     {"insert.commitStreamingSession", "insert.insertText:Hello there"}, "Hello there", {"Hello there"}},
        ReconcileRow{"AppendsOnlyTheFullStop", {"Hello", " world"}, "Hello world.",
                     {"insert.insertText:.", "insert.commitStreamingSession"}, "Hello world.", {"Hello world."}},
        ReconcileRow{"AppendsTheRemainderWithItsSpace", {"Hello"}, "Hello world",
                     {"insert.insertText: world", "insert.commitStreamingSession"}, "Hello world", {"Hello world"}},
        ReconcileRow{"EqualTextTypesNothing", {"Hello", " world"}, "Hello world", {"insert.commitStreamingSession"},
                     "Hello world", {"Hello world"}},
        ReconcileRow{"DecomposedEqualsPrecomposed", {kDecomposed}, kPrecomposed, {"insert.commitStreamingSession"},
                     kPrecomposed, {kPrecomposed}},
        ReconcileRow{"DecomposedPrefixAppendsRemainder", {kDecomposed}, kPrecomposed + " au lait",
                     {"insert.insertText: au lait", "insert.commitStreamingSession"}, kPrecomposed + " au lait",
                     {kPrecomposed + " au lait"}},
        ReconcileRow{"DifferentTextReplacesLiveText", {"I scream"}, "Ice cream",
                     {"insert.undoStreamingInsertion:8", "insert.insertText:Ice cream"}, "Ice cream", {"Ice cream"}},
        ReconcileRow{"ShorterFinalReplaces", {"Hello", " world"}, "Hello",
                     {"insert.undoStreamingInsertion:11", "insert.insertText:Hello"}, "Hello", {"Hello"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppCoordinatorStreamingTest, ReleaseFreezesTheLiveTextAndTranscribesTheWholeRecording) {
    press();
    partial("Hello", "Hello");
    calls.clear();
    release();
    EXPECT_EQ(calls, (std::vector<std::string>{"sound.Pop", "audio.stopRecording", "router.endStreamingSession",
                                               "audio.disableStreaming", "router.transcribe:brem_recording_9.wav"}));
    EXPECT_TRUE(log.contains("AppCoordinator: Streaming session ending, doing final transcription..."));
    finalText("Hello there.");
    EXPECT_TRUE(log.contains("AppCoordinator: Handling streaming final transcription"));
    EXPECT_TRUE(log.contains("AppCoordinator: Streamed text: 'Hello'"));
    EXPECT_TRUE(log.contains("AppCoordinator: Final text: 'Hello there.'"));
    EXPECT_TRUE(log.contains("AppCoordinator: Appending remainder: ' there.'"));
}

TEST_F(AppCoordinatorStreamingTest, FailureWithStreamedTextKeepsAndStoresIt) {
    press();
    partial("Hello", "Hello");
    release();
    calls.clear();
    coordinator->transcriptionEngineDidFail(TranscriptionError{TranscriptionError::Kind::transcriptionFailed, "x"});
    settle();
    EXPECT_EQ(calls, (std::vector<std::string>{"insert.commitStreamingSession", "router.endStreamingSession",
                                               "audio.disableStreaming"}));
    EXPECT_EQ(coordinator->lastTranscription(), "Hello");
    ASSERT_EQ(history->items.size(), 1u);
    EXPECT_TRUE(history->items[0].insertionSucceeded);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(coordinator->appState.get(), AppState::error("Transcription failed: x"));
    queue.advance(AppCoordinator::kErrorDisplayDuration);
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
}

TEST_F(AppCoordinatorStreamingTest, FailureWithoutStreamedTextDeletesWhatWasTyped) {
    press();
    release();
    calls.clear();
    coordinator->transcriptionEngineDidFail(TranscriptionError{TranscriptionError::Kind::cloudTranscriptionFailed, "y"});
    settle();
    EXPECT_EQ(calls.front(), "insert.undoStreamingInsertion:0");
    EXPECT_TRUE(history->items.empty());
    EXPECT_FALSE(coordinator->lastTranscription().has_value());
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(AppCoordinatorStreamingTest, EscapeDeletesLiveTextShowsCancelledForOneSecondAndKeepsNothing) {
    press();
    partial("Hello", "Hello");
    calls.clear();
    coordinator->hotkeyManagerDidPressEscape();
    settle();
    EXPECT_EQ(calls, (std::vector<std::string>{"insert.undoStreamingInsertion:5", "router.endStreamingSession",
                                               "audio.disableStreaming", "audio.cancelRecording"}));
    EXPECT_TRUE(log.contains("AppCoordinator: Streaming session cancelled - undoing inserted text"));
    EXPECT_FALSE(std::filesystem::exists(file)) << "no recording is kept for Undo";
    EXPECT_EQ(coordinator->appState.get(), AppState::cancelled());

    calls.clear();
    coordinator->undoCancellation();
    settle();
    EXPECT_TRUE(calls.empty()) << "Undo has nothing to transcribe";
    queue.advance(AppCoordinator::kStreamingCancelDisplayDuration);
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
    partial("Hello again", " again");
    EXPECT_TRUE(calls.empty()) << "late results after the cancel are ignored";
}

}  // namespace
}  // namespace quonvera::test
