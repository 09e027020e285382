#pragma once

#include "app/AppState.h"
#include "app/contract/AnalyticsServiceInterface.h"
#include "app/contract/AudioEngineInterface.h"
#include "app/contract/EnhancementServiceInterface.h"
#include "app/contract/HotkeyManagerInterface.h"
#include "app/contract/PermissionManagerInterface.h"
#include "app/contract/TextInsertionServiceInterface.h"
#include "app/contract/TranscriptHistoryServiceInterface.h"
#include "app/contract/TranscriptionEngineInterface.h"
#include "core/BackgroundTasks.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Published.h"
#include "models/Settings.h"
#include "platform/Clipboard.h"
#include "platform/SystemSounds.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace quonvera {

inline constexpr const char* kAudioLevelsDidUpdate = "audioLevelsDidUpdate";
inline constexpr const char* kLevelsKey = "levels";

// Everything the coordinator drives, handed in by the application (real services) or by
// tests (fakes). The queue, tasks and notification center outlive the coordinator.
struct AppCoordinatorServices {
    MainQueue& mainQueue;
    BackgroundTasks& backgroundTasks;
    NotificationCenter& notificationCenter;
    std::shared_ptr<Settings> settings;
    std::shared_ptr<HotkeyManagerInterface> hotkeyManager;
    std::shared_ptr<AudioEngineInterface> audioEngine;
    std::shared_ptr<TranscriptionEngineInterface> transcriptionEngine;
    std::shared_ptr<TextInsertionServiceInterface> textInsertionService;
    std::shared_ptr<TranscriptHistoryServiceInterface> historyService;
    std::shared_ptr<AnalyticsServiceInterface> analytics;
    std::shared_ptr<EnhancementServiceInterface> enhancementService;
    std::shared_ptr<PermissionManagerInterface> permissionManager;
    std::shared_ptr<SystemSounds> sounds;
    std::shared_ptr<Clipboard> clipboard;
};

// Turns hotkey events into recordings, recordings into transcripts, transcripts (optionally
// improved) into text typed into the focused application, and every delivered transcript into
// a history entry. Everything runs on the main queue except the enhancement request.
class AppCoordinator final : public HotkeyManagerDelegate,
                             public AudioEngineDelegate,
                             public TranscriptionEngineDelegate,
                             public std::enable_shared_from_this<AppCoordinator> {
public:
    static constexpr Duration kErrorDisplayDuration = std::chrono::seconds(3);
    static constexpr Duration kPermissionPollInterval = std::chrono::seconds(2);
    static constexpr Duration kCancelledRecordingLifetime = std::chrono::seconds(5);
    static constexpr Duration kStreamingCancelDisplayDuration = std::chrono::seconds(1);
    static constexpr double kStreamingSampleRate = 16000;

    // Creates the coordinator and makes it the delegate of the hotkey monitor, the recorder
    // and the router. Installs nothing and requests nothing until `start`.
    static std::shared_ptr<AppCoordinator> create(AppCoordinatorServices services);

    void start();
    void cleanup();
    void undoCancellation();

    Published<AppState> appState{AppState::idle()};
    Published<bool> isHotkeyManagerRunning{false};
    const std::shared_ptr<Settings>& settings() const { return services_.settings; }
    const std::optional<std::string>& lastTranscription() const { return lastTranscription_; }
    bool isWaitingForPermission() const { return permissionCheckTimer_ != nullptr; }
    bool isStreamingSession() const { return isStreamingSession_; }

    // HotkeyManagerDelegate
    void hotkeyManagerDidPressHotkey() override;
    void hotkeyManagerDidReleaseHotkey() override;
    void hotkeyManagerDidPressEscape() override;
    void hotkeyManagerDidPressPasteShortcut() override;
    // AudioEngineDelegate
    void audioEngineDidStartRecording() override;
    void audioEngineDidFinishRecording(const std::filesystem::path& file) override;
    void audioEngineDidDiscardShortRecording() override;
    void audioEngineDidFail(const AudioEngineError& error) override;
    void audioEngineDidUpdateLevels(const AudioLevels& levels) override;
    void audioEngineDidAccumulateSamples(const std::vector<float>& samples) override;
    // TranscriptionEngineDelegate
    void transcriptionEngineDidStartTranscription() override;
    void transcriptionEngineDidComplete(const std::string& text) override;
    void transcriptionEngineDidFail(const TranscriptionError& error) override;
    void transcriptionEngineDidStartModelDownload() override;
    void transcriptionEngineDidFinishModelDownload() override;
    void transcriptionEngineDidReceivePartialText(const std::string& text, const std::string& delta) override;
    void transcriptionEngineDidReviseText(const std::string& oldText, const std::string& newText) override;

    explicit AppCoordinator(AppCoordinatorServices services);

private:
    void startHotkeyManager();
    void startPermissionMonitoring();
    void beginDictation();
    void enhanceAndInsert(const std::string& text);
    void insertTranscript(const std::string& text);
    void clearCancelledRecording();
    void startStreamingSession();
    void endStreamingRecording(const std::filesystem::path& file);
    void finishStreamingSession(const std::string& finalText);
    void cleanUpFailedStreamingSession();
    void cancelStreamingSession();
    void resetStreamingFields();
    void addHistoryItem(const std::string& text, bool insertionSucceeded);

    // State changes are posted, so they land after the current main-queue work, in order.
    void postState(AppState state);
    // Posts the error state and, 3 s later, the return to idle.
    void showError(const std::string& description);
    // Runs `block` on the main queue while the coordinator still exists.
    void postToSelf(std::function<void(AppCoordinator&)> block);
    std::weak_ptr<AppCoordinator> weakSelf() { return weak_from_this(); }

    AppCoordinatorServices services_;
    SubscriptionSet cancellables_;
    std::shared_ptr<Timer> permissionCheckTimer_;
    std::optional<std::filesystem::path> cancelledAudioURL_;
    std::shared_ptr<Timer> cancelledTimer_;
    std::optional<std::string> lastTranscription_;
    bool isStreamingSession_ = false;
    std::string streamingText_;
    std::string pendingStreamingText_;
    int pendingStreamingCharCount_ = 0;
    std::optional<std::filesystem::path> pendingStreamingAudioURL_;
};

}  // namespace quonvera
