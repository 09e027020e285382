#include "app/AppCoordinator.h"

#include "core/Log.h"
#include "core/ReferenceDate.h"
#include "core/Uuid.h"

#include <system_error>
#include <utility>

namespace quonvera {

std::shared_ptr<AppCoordinator> AppCoordinator::create(AppCoordinatorServices services) {
    auto coordinator = std::make_shared<AppCoordinator>(std::move(services));
    coordinator->services_.hotkeyManager->setDelegate(coordinator);
    coordinator->services_.audioEngine->setDelegate(coordinator);
    coordinator->services_.transcriptionEngine->setDelegate(coordinator);
    return coordinator;
}

AppCoordinator::AppCoordinator(AppCoordinatorServices services) : services_(std::move(services)) {}

void AppCoordinator::postToSelf(std::function<void(AppCoordinator&)> block) {
    services_.mainQueue.post([weak = weakSelf(), block = std::move(block)] {
        if (auto self = weak.lock()) block(*self);
    });
}

void AppCoordinator::postState(AppState state) {
    postToSelf([state = std::move(state)](AppCoordinator& self) { self.appState = state; });
}

void AppCoordinator::showError(const std::string& description) {
    postState(AppState::error(description));
    services_.mainQueue.postAfter(kErrorDisplayDuration, [weak = weakSelf()] {
        if (auto self = weak.lock()) self->appState = AppState::idle();
    });
}

// MARK: start-up

void AppCoordinator::start() {
    auto& analytics = *services_.analytics;
    auto& permissions = *services_.permissionManager;
    auto& settings = *services_.settings;

    analytics.track(AnalyticsEvent::appLaunched);

    const bool accessibilityTrusted = permissions.isAccessibilityTrusted(false);
    const bool microphoneAuthorized = permissions.microphoneAuthorized();
    if (!accessibilityTrusted) {
        logLine("AppCoordinator: Requesting accessibility permission");
        permissions.isAccessibilityTrusted(true);
    }
    if (microphoneAuthorized) {
        analytics.track(AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "microphone"}});
    } else {
        logLine("AppCoordinator: Requesting microphone permission");
        // The answer may come on any thread; the statistics live on the main queue.
        permissions.requestMicrophoneAccess([weak = weakSelf(), &queue = services_.mainQueue](bool granted) {
            if (!granted) return;
            queue.post([weak] {
                if (auto self = weak.lock())
                    self->services_.analytics->track(AnalyticsEvent::permissionsGranted,
                                                     AnalyticsMetadata{{"type", "microphone"}});
            });
        });
    }
    if (accessibilityTrusted)
        analytics.track(AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "accessibility"}});

    logLine("AppCoordinator: Starting background model download...");
    analytics.track(AnalyticsEvent::modelDownloadStarted);
    services_.transcriptionEngine->startBackgroundDownload();

    // The notification comes before the new value is stored, so the check runs once it is:
    // a newly selected model starts loading right away.
    cancellables_.push_back(settings.whisperModel.subscribe(
        [this](const WhisperModel&) {
            postToSelf([](AppCoordinator& self) {
                if (self.services_.transcriptionEngine->currentModel() != self.services_.settings->whisperModel.get())
                    self.services_.transcriptionEngine->reloadModelIfNeeded();
            });
        },
        Delivery::skipCurrent));

    services_.audioEngine->setInputDevice(settings.selectedMicrophoneID.get());
    cancellables_.push_back(settings.selectedMicrophoneID.subscribe(
        [this](const std::optional<std::string>& deviceUID) { services_.audioEngine->setInputDevice(deviceUID); },
        Delivery::skipCurrent));

    for (auto& subscription : combineLatestSkippingCurrent<HotkeyMode, HotkeyConfig>(
             settings.hotkeyMode, settings.hotkeyConfig, [this](const HotkeyMode&, const HotkeyConfig&) {
                 services_.hotkeyManager->setSettings(services_.settings);
                 services_.hotkeyManager->setHotkeyPressed(false);
             }))
        cancellables_.push_back(std::move(subscription));

    startHotkeyManager();
}

void AppCoordinator::startHotkeyManager() {
    if (!services_.hotkeyManager->start()) {
        logLine("AppCoordinator: Hotkey manager failed to start - monitoring for permission");
        isHotkeyManagerRunning = false;
        startPermissionMonitoring();
        return;
    }
    logLine("AppCoordinator: Hotkey manager started successfully");
    isHotkeyManagerRunning = true;
    if (permissionCheckTimer_) {
        permissionCheckTimer_->invalidate();
        permissionCheckTimer_.reset();
    }
    services_.analytics->track(AnalyticsEvent::permissionsGranted, AnalyticsMetadata{{"type", "accessibility"}});
    if (appState.get().is(AppState::Kind::error)) appState = AppState::idle();
}

void AppCoordinator::startPermissionMonitoring() {
    if (permissionCheckTimer_) return;
    logLine("AppCoordinator: Starting permission monitoring (checking every 2 seconds)");
    permissionCheckTimer_ = services_.mainQueue.scheduleRepeating(kPermissionPollInterval, [weak = weakSelf()] {
        auto self = weak.lock();
        if (!self || !self->services_.permissionManager->isAccessibilityTrusted(false)) return;
        logLine("AppCoordinator: Accessibility permission detected!");
        self->startHotkeyManager();
    });
}

void AppCoordinator::cleanup() {
    if (permissionCheckTimer_) {
        permissionCheckTimer_->invalidate();
        permissionCheckTimer_.reset();
    }
    services_.hotkeyManager->stop();
    services_.audioEngine->stopRecording();
    services_.transcriptionEngine->cancelTranscription();
}

// MARK: the hotkey

void AppCoordinator::hotkeyManagerDidPressHotkey() {
    logLine("AppCoordinator: hotkey pressed");
    services_.sounds->play(SystemSound::tink);
    beginDictation();
}

void AppCoordinator::beginDictation() {
    const auto state = appState.get().kind;
    if (state != AppState::Kind::idle && state != AppState::Kind::downloadingModel) return;
    services_.analytics->track(AnalyticsEvent::transcriptionStarted);
    if (services_.settings->streamingTranscription.get() && services_.transcriptionEngine->isModelReady()) {
        startStreamingSession();
    } else {
        isStreamingSession_ = false;
        services_.audioEngine->disableStreaming();
        postState(AppState::recording());
    }
    services_.audioEngine->startRecording();
}

void AppCoordinator::hotkeyManagerDidReleaseHotkey() {
    logLine("AppCoordinator: hotkey released");
    services_.sounds->play(SystemSound::pop);
    const auto state = appState.get().kind;
    if (state == AppState::Kind::recording || state == AppState::Kind::streamingTranscription)
        services_.audioEngine->stopRecording();
}

void AppCoordinator::hotkeyManagerDidPressEscape() {
    const auto state = appState.get().kind;
    if (state != AppState::Kind::recording && state != AppState::Kind::streamingTranscription) return;
    if (isStreamingSession_) {
        cancelStreamingSession();
        return;
    }
    logLine("AppCoordinator: Recording cancelled");
    services_.audioEngine->cancelRecording([weak = weakSelf()](std::optional<std::filesystem::path> file) {
        auto self = weak.lock();
        if (!self) return;
        self->cancelledAudioURL_ = std::move(file);
        self->postState(AppState::cancelled());
        self->cancelledTimer_ = self->services_.mainQueue.postAfter(kCancelledRecordingLifetime, [weak] {
            if (auto coordinator = weak.lock()) coordinator->clearCancelledRecording();
        });
    });
}

void AppCoordinator::clearCancelledRecording() {
    logLine("AppCoordinator: Clearing cancelled recording");
    if (cancelledAudioURL_) {
        std::error_code ignored;
        std::filesystem::remove(*cancelledAudioURL_, ignored);
    }
    cancelledAudioURL_.reset();
    cancelledTimer_.reset();
    postState(AppState::idle());
}

void AppCoordinator::undoCancellation() {
    if (!appState.get().is(AppState::Kind::cancelled) || !cancelledAudioURL_) return;
    logLine("AppCoordinator: Undoing cancellation, transcribing...");
    if (cancelledTimer_) cancelledTimer_->invalidate();
    cancelledTimer_.reset();
    const auto file = *std::exchange(cancelledAudioURL_, std::nullopt);
    postState(AppState::transcribing());
    services_.transcriptionEngine->transcribe(file);
}

void AppCoordinator::hotkeyManagerDidPressPasteShortcut() {
    if (!lastTranscription_ || lastTranscription_->empty()) {
        logLine("AppCoordinator: No transcription to paste");
        return;
    }
    logLine("AppCoordinator: Pasting last transcription via Cmd+Ctrl+V");
    services_.clipboard->setText(*lastTranscription_);
    services_.textInsertionService->simulatePaste();
}

// MARK: the recorder

void AppCoordinator::audioEngineDidStartRecording() { logLine("AppCoordinator: Recording started"); }

void AppCoordinator::audioEngineDidFinishRecording(const std::filesystem::path& file) {
    if (isStreamingSession_) {
        endStreamingRecording(file);
        return;
    }
    logLine("AppCoordinator: Recording stopped, transcribing...");
    postState(AppState::transcribing());
    services_.transcriptionEngine->transcribe(file);
}

void AppCoordinator::audioEngineDidDiscardShortRecording() {
    logLine("AppCoordinator: Recording discarded (too short)");
    postState(AppState::idle());
}

void AppCoordinator::audioEngineDidFail(const AudioEngineError& error) {
    // May arrive off the main thread (a refused microphone permission): only log and post.
    const std::string description = error.description();
    logLine("AppCoordinator: Audio error: " + description);
    showError(description);
}

void AppCoordinator::audioEngineDidUpdateLevels(const AudioLevels& levels) {
    services_.notificationCenter.post(
        Notification{kAudioLevelsDidUpdate, {{kLevelsKey, std::vector<double>(levels.begin(), levels.end())}}});
}

void AppCoordinator::audioEngineDidAccumulateSamples(const std::vector<float>& samples) {
    if (isStreamingSession_) services_.transcriptionEngine->processStreamingSamples(samples, kStreamingSampleRate);
}

// MARK: the router

void AppCoordinator::transcriptionEngineDidStartTranscription() { logLine("AppCoordinator: Transcription started"); }

void AppCoordinator::transcriptionEngineDidComplete(const std::string& text) {
    logLine("AppCoordinator: Transcription complete: " + text);
    if (isStreamingSession_ && pendingStreamingAudioURL_) {
        finishStreamingSession(text);
        return;
    }
    services_.analytics->trackTranscriptionCompleted(services_.transcriptionEngine->isUsingCloud());
    const auto& settings = *services_.settings;
    if ((settings.aiAutoFormat.get() || settings.aiSmartCorrections.get()) && !text.empty()) {
        logLine("AppCoordinator: Applying AI enhancement...");
        enhanceAndInsert(text);
        return;
    }
    insertTranscript(text);
}

void AppCoordinator::enhanceAndInsert(const std::string& text) {
    // The options are read here, on the main thread, and handed to the task: settings are not
    // safe to read from another thread.
    const auto& settings = *services_.settings;
    const bool autoFormat = settings.aiAutoFormat.get();
    const bool smartCorrections = settings.aiSmartCorrections.get();
    const std::vector<std::string> vocabulary = settings.aiCustomVocabulary.get();
    auto enhancement = services_.enhancementService;
    using Outcome = Result<std::string, EnhancementError>;
    // The task keeps the coordinator alive until it has inserted the text.
    services_.backgroundTasks.run<Outcome>(
        [enhancement, text, autoFormat, smartCorrections, vocabulary](std::stop_token token) {
            Outcome outcome = enhancement->enhance(text, autoFormat, smartCorrections, vocabulary, token);
            if (outcome)
                logLine("AppCoordinator: AI enhancement complete: " + outcome.value());
            else
                logLine("AppCoordinator: AI enhancement failed: " + outcome.error().description() +
                        ", using original text");
            return outcome;
        },
        [self = shared_from_this(), text](Outcome outcome) {
            if (!outcome) {
                self->insertTranscript(text);
                return;
            }
            self->services_.analytics->track(AnalyticsEvent::aiEnhancementUsed);
            self->insertTranscript(outcome.value());
        });
}

void AppCoordinator::addHistoryItem(const std::string& text, bool insertionSucceeded) {
    services_.historyService->addItem(TranscriptItem{makeUuidString(), WallClock::now(), text, insertionSucceeded});
}

void AppCoordinator::insertTranscript(const std::string& text) {
    if (!text.empty()) {
        lastTranscription_ = text;
        const InsertionResult result = services_.textInsertionService->insertText(text);
        bool succeeded = true;
        switch (result) {
            case InsertionResult::accessibility:
                logLine("AppCoordinator: Text inserted via accessibility (clipboard preserved)");
                break;
            case InsertionResult::clipboardPaste:
                logLine("AppCoordinator: Text inserted via clipboard paste");
                break;
            case InsertionResult::clipboardOnly:
                logLine("AppCoordinator: Fallback - text in clipboard only");
                succeeded = false;
                break;
        }
        addHistoryItem(text, succeeded);
    }
    postState(AppState::idle());
}

void AppCoordinator::transcriptionEngineDidFail(const TranscriptionError& error) {
    const std::string description = error.description();
    logLine("AppCoordinator: Transcription failed: " + description);
    services_.analytics->track(AnalyticsEvent::transcriptionFailed, AnalyticsMetadata{{"error", description}});
    if (error.kind != TranscriptionError::Kind::modelInitializationFailed) {
        if (isStreamingSession_) cleanUpFailedStreamingSession();
        showError(description);
        return;
    }
    // A model that failed to load in the background must not end a dictation that is under
    // way (the recorder would keep running with nobody to stop it): show the error only when
    // nothing else is happening, judged once the changes posted so far have landed.
    postToSelf([description](AppCoordinator& self) {
        const auto state = self.appState.get().kind;
        if (state == AppState::Kind::idle || state == AppState::Kind::downloadingModel) self.showError(description);
    });
}

void AppCoordinator::transcriptionEngineDidStartModelDownload() {
    logLine("AppCoordinator: Model download started");
    postToSelf([](AppCoordinator& self) {
        if (self.appState.get().is(AppState::Kind::idle)) self.appState = AppState::downloadingModel();
    });
}

void AppCoordinator::transcriptionEngineDidFinishModelDownload() {
    logLine("AppCoordinator: Model download finished");
    postToSelf([](AppCoordinator& self) {
        if (self.appState.get().is(AppState::Kind::downloadingModel)) self.appState = AppState::idle();
    });
}


}  // namespace quonvera
