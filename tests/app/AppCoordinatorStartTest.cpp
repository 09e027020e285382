// Start-up, the permission poll, the settings subscriptions and clean-up.

#include "support/CoordinatorFixture.h"

#include <thread>

namespace quonvera::test {
namespace {

using Tracked = FakeAnalytics::Tracked;

class AppCoordinatorStartTest : public CoordinatorFixture {};

TEST_F(AppCoordinatorStartTest, StartWithEverythingGrantedRecordsTheLaunchAndStartsTheMonitor) {
    settings->selectedMicrophoneID = std::string("usb-mic");
    coordinator->start();

    EXPECT_EQ(analytics->events,
              (std::vector<Tracked>{{AnalyticsEvent::appLaunched, std::nullopt},
                                    {AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "microphone"}}},
                                    {AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "accessibility"}}},
                                    {AnalyticsEvent::modelDownloadStarted, std::nullopt},
                                    {AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "accessibility"}}}}));
    EXPECT_EQ(calls, (std::vector<std::string>{"router.startBackgroundDownload", "audio.setInputDevice:usb-mic",
                                               "hotkey.start"}));
    EXPECT_EQ(log.linesStartingWith("AppCoordinator:"),
              (std::vector<std::string>{"AppCoordinator: Starting background model download...",
                                        "AppCoordinator: Hotkey manager started successfully"}));
    EXPECT_TRUE(coordinator->isHotkeyManagerRunning.get());
    EXPECT_FALSE(coordinator->isWaitingForPermission());
    EXPECT_EQ(permissions->prompts, 0);
}

TEST_F(AppCoordinatorStartTest, MissingPermissionsArePromptedAndTheMicrophoneAnswerIsRecordedOnTheMainQueue) {
    permissions->accessibilityTrusted = false;
    permissions->microphoneGranted = false;
    hotkey->startSucceeds = false;
    coordinator->start();

    EXPECT_EQ(permissions->prompts, 1);
    EXPECT_EQ(permissions->microphoneRequests, 1);
    EXPECT_TRUE(log.contains("AppCoordinator: Requesting accessibility permission"));
    EXPECT_TRUE(log.contains("AppCoordinator: Requesting microphone permission"));
    EXPECT_EQ(analytics->eventKinds(),
              (std::vector<AnalyticsEvent>{AnalyticsEvent::appLaunched, AnalyticsEvent::modelDownloadStarted}));

    std::thread systemThread([answer = permissions->pendingMicrophoneAnswer] { answer(true); });
    systemThread.join();
    EXPECT_EQ(analytics->events.size(), 2u) << "recorded on the main queue, not on the answering thread";
    settle();
    EXPECT_EQ(analytics->events.back(), (Tracked{AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "microphone"}}}));
}

TEST_F(AppCoordinatorStartTest, PermissionPollStartsTheMonitorOnceAllowedAndClearsAShowingError) {
    permissions->accessibilityTrusted = false;
    hotkey->startSucceeds = false;
    coordinator->start();
    settle();
    EXPECT_TRUE(log.contains("AppCoordinator: Hotkey manager failed to start - monitoring for permission"));
    EXPECT_TRUE(log.contains("AppCoordinator: Starting permission monitoring (checking every 2 seconds)"));
    EXPECT_TRUE(coordinator->isWaitingForPermission());
    EXPECT_FALSE(coordinator->isHotkeyManagerRunning.get());

    log.clear();
    calls.clear();
    queue.advance(std::chrono::seconds(4));
    EXPECT_TRUE(calls.empty()) << "no attempt while not trusted";

    // Trusted, but the monitor still cannot start: every tick logs both lines again.
    permissions->accessibilityTrusted = true;
    queue.advance(std::chrono::seconds(4));
    EXPECT_EQ(log.linesStartingWith("AppCoordinator:"),
              (std::vector<std::string>{"AppCoordinator: Accessibility permission detected!",
                                        "AppCoordinator: Hotkey manager failed to start - monitoring for permission",
                                        "AppCoordinator: Accessibility permission detected!",
                                        "AppCoordinator: Hotkey manager failed to start - monitoring for permission"}));

    coordinator->audioEngineDidFail(AudioEngineError{AudioEngineError::Kind::engineInitializationFailed, {}});
    settle();
    hotkey->startSucceeds = true;
    queue.advance(std::chrono::seconds(2));
    EXPECT_TRUE(coordinator->isHotkeyManagerRunning.get());
    EXPECT_FALSE(coordinator->isWaitingForPermission());
    EXPECT_EQ(coordinator->appState.get(), AppState::idle()) << "the error showing at that moment is cleared";

    calls.clear();
    queue.advance(std::chrono::seconds(10));
    EXPECT_TRUE(calls.empty()) << "the poll stopped";
}

TEST_F(AppCoordinatorStartTest, SettingsSubscriptionsSkipTheCurrentValues) {
    coordinator->start();
    settle();
    calls.clear();

    settings->selectedMicrophoneID = std::nullopt;
    settings->hotkeyMode = HotkeyMode::customModifiers;
    settings->hotkeyConfig = HotkeyConfig{true, true, false, false, false, 49};
    EXPECT_EQ(calls, (std::vector<std::string>{"audio.setInputDevice:default", "hotkey.setSettings",
                                               "hotkey.setHotkeyPressed:false", "hotkey.setSettings",
                                               "hotkey.setHotkeyPressed:false"}));
    EXPECT_EQ(hotkey->settings, settings);
}

TEST_F(AppCoordinatorStartTest, ANewlySelectedModelIsLoadedWhenTheRouterHasAnother) {
    router->model = WhisperModel::largeV3Turbo;
    coordinator->start();
    settle();
    calls.clear();

    settings->whisperModel = WhisperModel::largeV3Turbo;  // the loaded one: nothing to do
    settle();
    EXPECT_TRUE(calls.empty());
    settings->whisperModel = WhisperModel::small;
    settle();
    EXPECT_EQ(calls, std::vector<std::string>{"router.reloadModelIfNeeded"});
}

TEST_F(AppCoordinatorStartTest, CleanupStopsTheMonitorRecorderRouterAndPoll) {
    hotkey->startSucceeds = false;
    coordinator->start();
    settle();
    calls.clear();
    coordinator->cleanup();
    EXPECT_EQ(calls, (std::vector<std::string>{"hotkey.stop", "audio.stopRecording", "router.cancelTranscription"}));
    EXPECT_FALSE(coordinator->isWaitingForPermission());
    calls.clear();
    queue.advance(std::chrono::seconds(10));
    EXPECT_TRUE(calls.empty());
}

}  // namespace
}  // namespace quonvera::test
