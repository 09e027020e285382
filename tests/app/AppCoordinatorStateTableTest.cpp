// What each event does in each state of the coordinator, including the log lines, sounds and
// service calls that must happen even when the state does not change.

#include "support/CoordinatorFixture.h"

namespace quonvera::test {
namespace {

enum class Event { press, release, escape, downloadStarted, downloadFinished, audioFailed, transcriptionFailed,
                   modelInitFailed };

const char* name(Event event) {
    switch (event) {
        case Event::press: return "press";
        case Event::release: return "release";
        case Event::escape: return "escape";
        case Event::downloadStarted: return "downloadStarted";
        case Event::downloadFinished: return "downloadFinished";
        case Event::audioFailed: return "audioFailed";
        case Event::transcriptionFailed: return "transcriptionFailed";
        case Event::modelInitFailed: return "modelInitFailed";
    }
    return "?";
}

const AudioEngineError kAudioError{AudioEngineError::Kind::engineInitializationFailed, {}};
const TranscriptionError kTranscriptionError{TranscriptionError::Kind::cloudTranscriptionFailed, "boom"};
const TranscriptionError kModelError{TranscriptionError::Kind::modelInitializationFailed, "no model"};

struct Row {
    AppState from;
    Event event;
    AppState to;                     // after everything due now has run
    std::vector<std::string> calls;  // service calls and sounds, in order
    std::vector<std::string> logs;   // coordinator log lines, in order
    std::vector<AnalyticsEvent> tracked;
};

const std::string kPressed = "AppCoordinator: hotkey pressed";
const std::string kReleased = "AppCoordinator: hotkey released";
const std::string kCancelled = "AppCoordinator: Recording cancelled";
const std::string kDownloadStarted = "AppCoordinator: Model download started";
const std::string kDownloadFinished = "AppCoordinator: Model download finished";
const std::string kAudioFailed = "AppCoordinator: Audio error: Failed to initialize audio engine";
const std::string kTranscriptionFailed = "AppCoordinator: Transcription failed: Cloud transcription failed: boom";
const std::string kModelFailed =
    "AppCoordinator: Transcription failed: Failed to initialize transcription model: no model";
const AppState kAudioErrorState = AppState::error("Failed to initialize audio engine");
const AppState kTranscriptionErrorState = AppState::error("Cloud transcription failed: boom");
const AppState kModelErrorState = AppState::error("Failed to initialize transcription model: no model");

const std::vector<std::string> kStartsRecording = {"sound.Tink", "audio.disableStreaming", "audio.startRecording"};
const std::vector<std::string> kOnlyTink = {"sound.Tink"};
const std::vector<std::string> kPopAndStop = {"sound.Pop", "audio.stopRecording"};
const std::vector<std::string> kOnlyPop = {"sound.Pop"};

const std::vector<Row> kRows = {
    // The hotkey press: only idle and downloadingModel start a dictation.
    {AppState::idle(), Event::press, AppState::recording(), kStartsRecording, {kPressed}, {AnalyticsEvent::transcriptionStarted}},
    {AppState::downloadingModel(), Event::press, AppState::recording(), kStartsRecording, {kPressed}, {AnalyticsEvent::transcriptionStarted}},
    {AppState::recording(), Event::press, AppState::recording(), kOnlyTink, {kPressed}, {}},
    {AppState::transcribing(), Event::press, AppState::transcribing(), kOnlyTink, {kPressed}, {}},
    {AppState::streamingTranscription(), Event::press, AppState::streamingTranscription(), kOnlyTink, {kPressed}, {}},
    {AppState::cancelled(), Event::press, AppState::cancelled(), kOnlyTink, {kPressed}, {}},
    {AppState::error("x"), Event::press, AppState::error("x"), kOnlyTink, {kPressed}, {}},
    // The release: stops the recorder only while recording.
    {AppState::recording(), Event::release, AppState::recording(), kPopAndStop, {kReleased}, {}},
    {AppState::streamingTranscription(), Event::release, AppState::streamingTranscription(), kPopAndStop, {kReleased}, {}},
    {AppState::idle(), Event::release, AppState::idle(), kOnlyPop, {kReleased}, {}},
    {AppState::downloadingModel(), Event::release, AppState::downloadingModel(), kOnlyPop, {kReleased}, {}},
    {AppState::transcribing(), Event::release, AppState::transcribing(), kOnlyPop, {kReleased}, {}},
    {AppState::cancelled(), Event::release, AppState::cancelled(), kOnlyPop, {kReleased}, {}},
    {AppState::error("x"), Event::release, AppState::error("x"), kOnlyPop, {kReleased}, {}},
    // Esc: cancels a recording; nothing anywhere else.
    {AppState::recording(), Event::escape, AppState::cancelled(), {"audio.cancelRecording"}, {kCancelled}, {}},
    {AppState::idle(), Event::escape, AppState::idle(), {}, {}, {}},
    {AppState::downloadingModel(), Event::escape, AppState::downloadingModel(), {}, {}, {}},
    {AppState::transcribing(), Event::escape, AppState::transcribing(), {}, {}, {}},
    {AppState::cancelled(), Event::escape, AppState::cancelled(), {}, {}, {}},
    {AppState::error("x"), Event::escape, AppState::error("x"), {}, {}, {}},
    // Model download start and end only move between idle and downloadingModel.
    {AppState::idle(), Event::downloadStarted, AppState::downloadingModel(), {}, {kDownloadStarted}, {}},
    {AppState::recording(), Event::downloadStarted, AppState::recording(), {}, {kDownloadStarted}, {}},
    {AppState::downloadingModel(), Event::downloadFinished, AppState::idle(), {}, {kDownloadFinished}, {}},
    {AppState::recording(), Event::downloadFinished, AppState::recording(), {}, {kDownloadFinished}, {}},
    {AppState::idle(), Event::downloadFinished, AppState::idle(), {}, {kDownloadFinished}, {}},
    // Failures of the recorder and the router show the error whatever the state.
    {AppState::recording(), Event::audioFailed, kAudioErrorState, {}, {kAudioFailed}, {}},
    {AppState::idle(), Event::audioFailed, kAudioErrorState, {}, {kAudioFailed}, {}},
    {AppState::transcribing(), Event::transcriptionFailed, kTranscriptionErrorState, {}, {kTranscriptionFailed}, {AnalyticsEvent::transcriptionFailed}},
    {AppState::idle(), Event::transcriptionFailed, kTranscriptionErrorState, {}, {kTranscriptionFailed}, {AnalyticsEvent::transcriptionFailed}},
    // A model that failed to load shows the error only while no dictation is under way.
    {AppState::idle(), Event::modelInitFailed, kModelErrorState, {}, {kModelFailed}, {AnalyticsEvent::transcriptionFailed}},
    {AppState::downloadingModel(), Event::modelInitFailed, kModelErrorState, {}, {kModelFailed}, {AnalyticsEvent::transcriptionFailed}},
    {AppState::recording(), Event::modelInitFailed, AppState::recording(), {}, {kModelFailed}, {AnalyticsEvent::transcriptionFailed}},
    {AppState::transcribing(), Event::modelInitFailed, AppState::transcribing(), {}, {kModelFailed}, {AnalyticsEvent::transcriptionFailed}},
    {AppState::streamingTranscription(), Event::modelInitFailed, AppState::streamingTranscription(), {}, {kModelFailed}, {AnalyticsEvent::transcriptionFailed}},
};

void PrintTo(const Row& row, std::ostream* out) { *out << name(row.event) << " while " << describe(row.from); }

class AppCoordinatorStateTableTest : public CoordinatorFixture, public ::testing::WithParamInterface<Row> {
protected:
    void send(Event event) {
        switch (event) {
            case Event::press: coordinator->hotkeyManagerDidPressHotkey(); break;
            case Event::release: coordinator->hotkeyManagerDidReleaseHotkey(); break;
            case Event::escape: coordinator->hotkeyManagerDidPressEscape(); break;
            case Event::downloadStarted: coordinator->transcriptionEngineDidStartModelDownload(); break;
            case Event::downloadFinished: coordinator->transcriptionEngineDidFinishModelDownload(); break;
            case Event::audioFailed: coordinator->audioEngineDidFail(kAudioError); break;
            case Event::transcriptionFailed: coordinator->transcriptionEngineDidFail(kTranscriptionError); break;
            case Event::modelInitFailed: coordinator->transcriptionEngineDidFail(kModelError); break;
        }
    }
};

TEST_P(AppCoordinatorStateTableTest, EventInState) {
    const Row& row = GetParam();
    setState(row.from);
    audio->recording = row.from.is(AppState::Kind::recording) || row.from.is(AppState::Kind::streamingTranscription);
    calls.clear();
    log.clear();

    send(row.event);
    settle();

    EXPECT_EQ(coordinator->appState.get(), row.to);
    EXPECT_EQ(calls, row.calls);
    EXPECT_EQ(log.linesStartingWith("AppCoordinator:"), row.logs);
    EXPECT_EQ(analytics->eventKinds(), row.tracked);
    if (row.to.is(AppState::Kind::error) && !row.from.is(AppState::Kind::error)) {
        queue.advance(AppCoordinator::kErrorDisplayDuration);
        EXPECT_EQ(coordinator->appState.get(), AppState::idle()) << "the error state ends by itself";
    }
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    std::string from = describe(info.param.from);
    from = from.substr(0, from.find('('));
    return std::to_string(info.index) + "_" + name(info.param.event) + "_while_" + from;
}

INSTANTIATE_TEST_SUITE_P(AllRows, AppCoordinatorStateTableTest, ::testing::ValuesIn(kRows), rowName);

}  // namespace
}  // namespace quonvera::test
