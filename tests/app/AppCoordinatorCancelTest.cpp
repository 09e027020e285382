// Esc while recording, Undo within five seconds, and pasting the last transcript again.

#include "support/CoordinatorFixture.h"
#include "support/TemporaryFolder.h"

#include <fstream>

namespace quonvera::test {
namespace {

class AppCoordinatorCancelTest : public CoordinatorFixture {
protected:
    void SetUp() override {
        recording = folder / "brem_recording_7.wav";
        std::ofstream(recording) << "RIFF";
        audio->cancelFile = recording;
        settings->aiAutoFormat = false;
        settings->aiSmartCorrections = false;
    }
    void pressAndCancel() {
        coordinator->hotkeyManagerDidPressHotkey();
        settle();
        coordinator->hotkeyManagerDidPressEscape();
        settle();
    }

    TemporaryFolder folder;
    std::filesystem::path recording;
};

TEST_F(AppCoordinatorCancelTest, CancelKeepsTheRecordingForFiveSecondsThenDeletesIt) {
    pressAndCancel();
    EXPECT_EQ(coordinator->appState.get(), AppState::cancelled());
    EXPECT_TRUE(log.contains("AppCoordinator: Recording cancelled"));

    coordinator->hotkeyManagerDidPressHotkey();  // ignored while cancelled
    settle();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "audio.startRecording"), 1);

    queue.advance(AppCoordinator::kCancelledRecordingLifetime - std::chrono::milliseconds(1));
    EXPECT_TRUE(std::filesystem::exists(recording));
    queue.advance(std::chrono::milliseconds(1));
    EXPECT_FALSE(std::filesystem::exists(recording));
    EXPECT_TRUE(log.contains("AppCoordinator: Clearing cancelled recording"));
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
    EXPECT_TRUE(history->items.empty());
}

TEST_F(AppCoordinatorCancelTest, UndoWithinTheWindowTranscribesAndTheTimerNeverFires) {
    pressAndCancel();
    queue.advance(std::chrono::seconds(2));
    coordinator->undoCancellation();
    settle();
    EXPECT_TRUE(log.contains("AppCoordinator: Undoing cancellation, transcribing..."));
    EXPECT_EQ(calls.back(), "router.transcribe:brem_recording_7.wav");
    EXPECT_EQ(coordinator->appState.get(), AppState::transcribing());

    coordinator->transcriptionEngineDidComplete("undone");
    settle();
    queue.advance(std::chrono::seconds(10));
    EXPECT_FALSE(log.contains("AppCoordinator: Clearing cancelled recording"));
    EXPECT_TRUE(std::filesystem::exists(recording)) << "the router owns the file now";
    EXPECT_EQ(calls.back(), "insert.insertText:undone");
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
}

TEST_F(AppCoordinatorCancelTest, UndoOutsideTheCancelledStateOrWithoutAFileDoesNothing) {
    coordinator->undoCancellation();
    settle();
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());

    audio->cancelFile = std::nullopt;  // the recorder had nothing to keep
    pressAndCancel();
    calls.clear();
    coordinator->undoCancellation();
    settle();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(coordinator->appState.get(), AppState::cancelled());
    queue.advance(AppCoordinator::kCancelledRecordingLifetime);
    EXPECT_EQ(coordinator->appState.get(), AppState::idle());
}

TEST_F(AppCoordinatorCancelTest, PasteLastBeforeAnyDictationSaysSo) {
    coordinator->hotkeyManagerDidPressPasteShortcut();
    EXPECT_TRUE(log.contains("AppCoordinator: No transcription to paste"));
    EXPECT_FALSE(clipboard->contents.has_value());
    EXPECT_TRUE(calls.empty());
}

TEST_F(AppCoordinatorCancelTest, PasteLastDuringARecordingPastesThePreviousTextWithoutDisturbingIt) {
    coordinator->hotkeyManagerDidPressHotkey();
    settle();
    coordinator->audioEngineDidFinishRecording(recording);
    coordinator->transcriptionEngineDidComplete("first text");
    settle();
    coordinator->hotkeyManagerDidPressHotkey();
    settle();
    calls.clear();
    markStates();

    coordinator->hotkeyManagerDidPressPasteShortcut();
    settle();
    EXPECT_TRUE(log.contains("AppCoordinator: Pasting last transcription via Cmd+Ctrl+V"));
    EXPECT_EQ(clipboard->contents, "first text");
    EXPECT_EQ(calls, std::vector<std::string>{"insert.simulatePaste"});
    EXPECT_TRUE(statesSinceMark().empty());
    EXPECT_EQ(coordinator->appState.get(), AppState::recording());
    EXPECT_EQ(history->items.size(), 1u);
}

}  // namespace
}  // namespace quonvera::test
