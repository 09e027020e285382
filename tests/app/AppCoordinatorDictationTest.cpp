// The ordinary dictation cycle: press, record, release, transcribe, enhance, insert, store.

#include "support/CoordinatorFixture.h"

namespace quonvera::test {
namespace {

class AppCoordinatorDictationTest : public CoordinatorFixture {
protected:
    // Press, let the recorder finish with a file, and let the router deliver `text`.
    void dictate(const std::string& text) {
        coordinator->hotkeyManagerDidPressHotkey();
        settle();
        coordinator->hotkeyManagerDidReleaseHotkey();
        coordinator->audioEngineDidFinishRecording("/tmp/brem_recording_1.wav");
        settle();
        coordinator->transcriptionEngineDidComplete(text);
        settle();
    }
};

TEST_F(AppCoordinatorDictationTest, PlainDictationInsertsRemembersAndStores) {
    settings->aiAutoFormat = false;
    settings->aiSmartCorrections = false;
    insertion->result = InsertionResult::clipboardPaste;

    dictate("Hello world");

    EXPECT_EQ(states, (std::vector<AppState>{AppState::recording(), AppState::transcribing(), AppState::idle()}));
    EXPECT_EQ(calls, (std::vector<std::string>{"sound.Tink", "audio.disableStreaming", "audio.startRecording",
                                               "sound.Pop", "audio.stopRecording",
                                               "router.transcribe:brem_recording_1.wav",
                                               "insert.insertText:Hello world"}));
    EXPECT_EQ(log.linesStartingWith("AppCoordinator:"),
              (std::vector<std::string>{"AppCoordinator: hotkey pressed", "AppCoordinator: hotkey released",
                                        "AppCoordinator: Recording stopped, transcribing...",
                                        "AppCoordinator: Transcription complete: Hello world",
                                        "AppCoordinator: Text inserted via clipboard paste"}));
    EXPECT_EQ(coordinator->lastTranscription(), "Hello world");
    ASSERT_EQ(history->items.size(), 1u);
    EXPECT_EQ(history->items[0].text, "Hello world");
    EXPECT_TRUE(history->items[0].insertionSucceeded);
    EXPECT_TRUE(isUuidString(history->items[0].id));
    EXPECT_LT(WallClock::now() - history->items[0].timestamp, std::chrono::seconds(5));
    EXPECT_EQ(analytics->completedWithCloud, std::vector<bool>{true});
    EXPECT_EQ(enhancement->calls, 0);
}

TEST_F(AppCoordinatorDictationTest, EmptyTranscriptReturnsToIdleWithoutInsertingButIsCounted) {
    settings->aiAutoFormat = true;  // enhancement is never asked about an empty text
    dictate("");

    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](auto& c) { return c.starts_with("insert."); }), 0);
    EXPECT_FALSE(coordinator->lastTranscription().has_value());
    EXPECT_TRUE(history->items.empty());
    EXPECT_EQ(analytics->completedWithCloud.size(), 1u);
    EXPECT_EQ(enhancement->calls, 0);
}

TEST_F(AppCoordinatorDictationTest, EnhancementSuccessInsertsTheImprovedText) {
    settings->aiAutoFormat = true;
    settings->aiSmartCorrections = false;
    settings->aiCustomVocabulary = std::vector<std::string>{"Quonvera"};
    enhancement->improved = "Hello, world.";
    enhancement->setGateOpen(false);

    dictate("hello world");
    EXPECT_EQ(coordinator->appState.get(), AppState::transcribing()) << "stays transcribing while enhancing";
    enhancement->setGateOpen(true);
    settleBackgroundWork();

    EXPECT_EQ(enhancement->lastText, "hello world");
    EXPECT_TRUE(enhancement->lastAutoFormat);
    EXPECT_FALSE(enhancement->lastSmartCorrections);
    EXPECT_EQ(enhancement->lastVocabulary, std::vector<std::string>{"Quonvera"});
    EXPECT_EQ(calls.back(), "insert.insertText:Hello, world.");
    EXPECT_EQ(coordinator->lastTranscription(), "Hello, world.");
    ASSERT_EQ(history->items.size(), 1u);
    EXPECT_EQ(history->items[0].text, "Hello, world.");
    EXPECT_TRUE(log.contains("AppCoordinator: Applying AI enhancement..."));
    EXPECT_TRUE(log.contains("AppCoordinator: AI enhancement complete: Hello, world."));
    EXPECT_EQ(analytics->eventKinds().back(), AnalyticsEvent::aiEnhancementUsed);
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
}

TEST_F(AppCoordinatorDictationTest, EnhancementFailureFallsBackToTheOriginalTextSilently) {
    enhancement->failure = EnhancementError{EnhancementError::Kind::serverError, {}, 502};

    dictate("hello world");
    settleBackgroundWork();

    EXPECT_TRUE(log.contains("AppCoordinator: AI enhancement failed: Server error (code 502)., using original text"));
    EXPECT_EQ(calls.back(), "insert.insertText:hello world");
    EXPECT_EQ(coordinator->lastTranscription(), "hello world");
    ASSERT_EQ(history->items.size(), 1u);
    EXPECT_EQ(history->items[0].text, "hello world");
    for (auto event : analytics->eventKinds()) EXPECT_NE(event, AnalyticsEvent::aiEnhancementUsed);
    EXPECT_EQ(coordinator->appState.get(), AppState::idle()) << "no error is shown";
}

TEST_F(AppCoordinatorDictationTest, VocabularyAloneNeverTriggersEnhancement) {
    settings->aiAutoFormat = false;
    settings->aiSmartCorrections = false;
    settings->aiCustomVocabulary = std::vector<std::string>{"Quonvera", "PulseAudio"};

    dictate("hello");
    settleBackgroundWork();

    EXPECT_EQ(enhancement->calls, 0);
    EXPECT_FALSE(log.contains("AppCoordinator: Applying AI enhancement..."));
    EXPECT_EQ(calls.back(), "insert.insertText:hello");
}

TEST_F(AppCoordinatorDictationTest, ClipboardOnlyInsertionIsStoredAsNotSucceeded) {
    settings->aiAutoFormat = false;
    settings->aiSmartCorrections = false;
    insertion->result = InsertionResult::clipboardOnly;

    dictate("kept on the clipboard");

    EXPECT_TRUE(log.contains("AppCoordinator: Fallback - text in clipboard only"));
    EXPECT_EQ(coordinator->lastTranscription(), "kept on the clipboard");
    ASSERT_EQ(history->items.size(), 1u);
    EXPECT_FALSE(history->items[0].insertionSucceeded);
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
}

TEST_F(AppCoordinatorDictationTest, RecorderFailingAtOnceShowsRecordingBeforeErrorThenIdleAfterThreeSeconds) {
    audio->onStart = [this] {
        coordinator->audioEngineDidFail(AudioEngineError{AudioEngineError::Kind::microphonePermissionDenied, {}});
    };
    coordinator->hotkeyManagerDidPressHotkey();
    settle();

    EXPECT_EQ(states, (std::vector<AppState>{AppState::recording(), AppState::error("Microphone permission denied")}));
    coordinator->hotkeyManagerDidPressHotkey();  // ignored while the error shows
    settle();
    queue.advance(AppCoordinator::kErrorDisplayDuration - std::chrono::milliseconds(1));
    EXPECT_TRUE(coordinator->appState.get().is(AppState::Kind::error));
    queue.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "audio.startRecording"), 1);
}

TEST_F(AppCoordinatorDictationTest, ErrorReturnToIdleIsNeverCancelled) {
    coordinator->transcriptionEngineDidFail(TranscriptionError{TranscriptionError::Kind::transcriptionFailed, "a"});
    settle();
    queue.advance(std::chrono::seconds(2));
    coordinator->transcriptionEngineDidFail(TranscriptionError{TranscriptionError::Kind::transcriptionFailed, "b"});
    settle();
    queue.advance(std::chrono::seconds(1));
    EXPECT_EQ(coordinator->appState.get(), AppState::idle()) << "the first error's return fires at 3 s";
}

TEST_F(AppCoordinatorDictationTest, ShortRecordingReturnsToIdle) {
    coordinator->hotkeyManagerDidPressHotkey();
    settle();
    coordinator->audioEngineDidDiscardShortRecording();
    settle();
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
    EXPECT_TRUE(log.contains("AppCoordinator: Recording discarded (too short)"));
}

TEST_F(AppCoordinatorDictationTest, DownloadFinishingDuringARecordingDoesNotEndIt) {
    coordinator->transcriptionEngineDidStartModelDownload();
    settle();
    coordinator->hotkeyManagerDidPressHotkey();
    settle();
    coordinator->transcriptionEngineDidFinishModelDownload();
    settle();
    EXPECT_EQ(coordinator->appState.get(), AppState::recording());
    coordinator->hotkeyManagerDidReleaseHotkey();
    EXPECT_EQ(calls.back(), "audio.stopRecording");
}

// A background model load that fails while the user is recording must not take the
// recording's state away: the release has to stop the recorder.
TEST_F(AppCoordinatorDictationTest, ModelFailureDuringRecordingKeepsTheDictationGoing) {
    settings->aiAutoFormat = false;
    settings->aiSmartCorrections = false;
    coordinator->hotkeyManagerDidPressHotkey();
    // Delivered before the posted recording state has landed.
    coordinator->transcriptionEngineDidFinishModelDownload();
    coordinator->transcriptionEngineDidFail(TranscriptionError{TranscriptionError::Kind::modelInitializationFailed, "x"});
    settle();
    queue.advance(AppCoordinator::kErrorDisplayDuration);

    EXPECT_EQ(states, std::vector<AppState>{AppState::recording()});
    EXPECT_EQ(analytics->eventKinds().back(), AnalyticsEvent::transcriptionFailed);
    coordinator->hotkeyManagerDidReleaseHotkey();
    EXPECT_EQ(calls.back(), "audio.stopRecording");
    coordinator->audioEngineDidFinishRecording("/tmp/brem_recording_2.wav");
    settle();
    coordinator->transcriptionEngineDidComplete("still delivered");
    settle();
    EXPECT_EQ(history->items.size(), 1u);
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
}

TEST_F(AppCoordinatorDictationTest, LevelsArePostedAsANotification) {
    std::vector<double> received;
    auto observer = notifications.addObserver(kAudioLevelsDidUpdate, [&](const Notification& n) {
        received = std::any_cast<std::vector<double>>(n.userInfo.at(kLevelsKey));
    });
    coordinator->audioEngineDidUpdateLevels({0.1, 0.2, 0.3, 0.4, 0.5, 1.0});
    EXPECT_EQ(received, (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 1.0}));
}

TEST_F(AppCoordinatorDictationTest, NothingRunsAfterTheCoordinatorIsGone) {
    coordinator->hotkeyManagerDidPressHotkey();
    coordinator->audioEngineDidFail(AudioEngineError{AudioEngineError::Kind::fileCreationFailed, {}});
    std::weak_ptr<AppCoordinator> weak = coordinator;
    coordinator.reset();
    EXPECT_TRUE(weak.expired()) << "services hold the coordinator weakly";
    settle();
    queue.advance(std::chrono::seconds(10));
}

}  // namespace
}  // namespace quonvera::test
