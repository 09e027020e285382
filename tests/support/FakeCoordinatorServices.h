#pragma once

// Test doubles of the services the coordinator drives. Each records what it was asked to do in
// one shared call log, so tests can check the order of effects across services.

#include "app/AppCoordinator.h"
#include "core/UnicodeText.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <functional>
#include <utility>
#include <optional>
#include <string>
#include <vector>

namespace quonvera::test {

using CallLog = std::vector<std::string>;

class FakeHotkeyManager final : public HotkeyManagerInterface {
public:
    explicit FakeHotkeyManager(CallLog& log) : log_(log) {}
    bool start() override {
        log_.push_back("hotkey.start");
        return startSucceeds;
    }
    void stop() override { log_.push_back("hotkey.stop"); }
    void setSettings(std::shared_ptr<Settings> s) override {
        log_.push_back("hotkey.setSettings");
        settings = std::move(s);
    }
    bool isHotkeyPressed() const override { return pressed; }
    void setHotkeyPressed(bool value) override {
        log_.push_back(std::string("hotkey.setHotkeyPressed:") + (value ? "true" : "false"));
        pressed = value;
    }
    void setDelegate(std::weak_ptr<HotkeyManagerDelegate> d) override { delegate = std::move(d); }

    bool startSucceeds = true;
    bool pressed = false;
    std::shared_ptr<Settings> settings;
    std::weak_ptr<HotkeyManagerDelegate> delegate;

private:
    CallLog& log_;
};

class FakeAudioEngine final : public AudioEngineInterface {
public:
    explicit FakeAudioEngine(CallLog& log) : log_(log) {}
    void startRecording() override {
        log_.push_back("audio.startRecording");
        recording = true;
        if (onStart) onStart();
    }
    void stopRecording() override {
        log_.push_back("audio.stopRecording");
        recording = false;
    }
    void cancelRecording(std::function<void(std::optional<std::filesystem::path>)> completion) override {
        log_.push_back("audio.cancelRecording");
        const bool wasRecording = std::exchange(recording, false);
        completion(wasRecording ? cancelFile : std::nullopt);
    }
    void setInputDevice(std::optional<std::string> uid) override {
        log_.push_back("audio.setInputDevice:" + uid.value_or("default"));
    }
    void enableStreaming() override { log_.push_back("audio.enableStreaming"); }
    void disableStreaming() override { log_.push_back("audio.disableStreaming"); }
    bool isRecording() const override { return recording; }
    bool isStreamingEnabled() const override { return false; }
    void setDelegate(std::weak_ptr<AudioEngineDelegate> d) override { delegate = std::move(d); }

    bool recording = false;
    std::optional<std::filesystem::path> cancelFile;  // what a cancel hands back
    std::function<void()> onStart;                    // e.g. fail at once
    std::weak_ptr<AudioEngineDelegate> delegate;

private:
    CallLog& log_;
};

class FakeTranscriptionEngine final : public TranscriptionEngineInterface {
public:
    explicit FakeTranscriptionEngine(CallLog& log) : log_(log) {}
    void transcribe(const std::filesystem::path& file) override {
        log_.push_back("router.transcribe:" + file.filename().string());
    }
    void startBackgroundDownload() override { log_.push_back("router.startBackgroundDownload"); }
    void reloadModelIfNeeded() override { log_.push_back("router.reloadModelIfNeeded"); }
    void cancelTranscription() override { log_.push_back("router.cancelTranscription"); }
    void startStreamingSession() override { log_.push_back("router.startStreamingSession"); }
    void endStreamingSession() override { log_.push_back("router.endStreamingSession"); }
    void processStreamingSamples(const std::vector<float>&, double) override {
        log_.push_back("router.processStreamingSamples");
    }
    bool isModelReady() const override { return modelReady; }
    bool isUsingCloud() const override { return usingCloud; }
    std::optional<WhisperModel> currentModel() const override { return model; }
    void setDelegate(std::weak_ptr<TranscriptionEngineDelegate> d) override { delegate = std::move(d); }

    bool modelReady = false;
    bool usingCloud = true;
    std::optional<WhisperModel> model;
    std::weak_ptr<TranscriptionEngineDelegate> delegate;

private:
    CallLog& log_;
};

class FakeTextInsertion final : public TextInsertionServiceInterface {
public:
    explicit FakeTextInsertion(CallLog& log) : log_(log) {}
    InsertionResult insertText(const std::string& text) override {
        log_.push_back("insert.insertText:" + text);
        return result;
    }
    bool simulatePaste() override {
        log_.push_back("insert.simulatePaste");
        return true;
    }
    // Streaming counts user-perceived characters as the real service does.
    void startStreamingSession() override {
        log_.push_back("insert.startStreamingSession");
        streamingCount = 0;
    }
    void commitStreamingSession() override {
        log_.push_back("insert.commitStreamingSession");
        streamingCount = 0;
    }
    void undoStreamingInsertion() override {
        log_.push_back("insert.undoStreamingInsertion:" + std::to_string(streamingCount));
        streamingCount = 0;
    }
    InsertionResult insertStreamingText(const std::string& text) override {
        log_.push_back("insert.insertStreamingText:" + text);
        streamingCount += static_cast<int>(characterCount(text));
        return result;
    }
    InsertionResult handleRevision(int deleteCount, const std::string& text) override {
        log_.push_back("insert.handleRevision:" + std::to_string(deleteCount) + ":" + text);
        streamingCount = static_cast<int>(characterCount(text));
        return result;
    }
    int streamingInsertedCount() const override { return streamingCount; }

    InsertionResult result = InsertionResult::accessibility;
    int streamingCount = 0;

private:
    CallLog& log_;
};

class FakeHistory final : public TranscriptHistoryServiceInterface {
public:
    void addItem(const TranscriptItem& item) override { items.push_back(item); }
    std::vector<TranscriptItem> items;
};

class FakeAnalytics final : public AnalyticsServiceInterface {
public:
    struct Tracked {
        AnalyticsEvent event;
        std::optional<AnalyticsMetadata> metadata;
        bool operator==(const Tracked&) const = default;
    };
    void track(AnalyticsEvent event, std::optional<AnalyticsMetadata> metadata) override {
        events.push_back({event, std::move(metadata)});
    }
    void trackTranscriptionCompleted(bool usedCloud) override { completedWithCloud.push_back(usedCloud); }
    std::vector<AnalyticsEvent> eventKinds() const {
        std::vector<AnalyticsEvent> kinds;
        for (const auto& tracked : events) kinds.push_back(tracked.event);
        return kinds;
    }

    std::vector<Tracked> events;
    std::vector<bool> completedWithCloud;
};

class FakeEnhancement final : public EnhancementServiceInterface {
public:
    Result<std::string, EnhancementError> enhance(const std::string& text, bool autoFormat, bool smartCorrections,
                                                  const std::vector<std::string>& vocabulary,
                                                  std::stop_token) override {
        {
            std::unique_lock lock(gateMutex_);
            gateChanged_.wait(lock, [this] { return gateOpen_; });
        }
        ++calls;
        lastText = text;
        lastAutoFormat = autoFormat;
        lastSmartCorrections = smartCorrections;
        lastVocabulary = vocabulary;
        if (failure) return *failure;
        return improved;
    }

    // While closed, `enhance` waits: the request is "in flight".
    void setGateOpen(bool open) {
        {
            std::lock_guard lock(gateMutex_);
            gateOpen_ = open;
        }
        gateChanged_.notify_all();
    }

    std::string improved = "Improved.";
    std::optional<EnhancementError> failure;
    std::atomic<int> calls{0};
    std::string lastText;
    bool lastAutoFormat = false;
    bool lastSmartCorrections = false;
    std::vector<std::string> lastVocabulary;

private:
    std::mutex gateMutex_;
    std::condition_variable gateChanged_;
    bool gateOpen_ = true;
};

class FakePermissionManager final : public PermissionManagerInterface {
public:
    bool isAccessibilityTrusted(bool prompt) override {
        if (prompt) ++prompts;
        return accessibilityTrusted;
    }
    bool microphoneAuthorized() override { return microphoneGranted; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override {
        ++microphoneRequests;
        pendingMicrophoneAnswer = std::move(completion);
    }

    bool accessibilityTrusted = true;
    bool microphoneGranted = true;
    int prompts = 0;
    int microphoneRequests = 0;
    std::function<void(bool)> pendingMicrophoneAnswer;
};

class FakeSounds final : public SystemSounds {
public:
    explicit FakeSounds(CallLog& log) : log_(log) {}
    void play(SystemSound sound) override { log_.push_back(sound == SystemSound::tink ? "sound.Tink" : "sound.Pop"); }

private:
    CallLog& log_;
};

class FakeClipboard final : public Clipboard {
public:
    void setText(const std::string& value) override { contents = value; }
    std::optional<std::string> text() const override { return contents; }
    std::optional<std::string> contents;
};

}  // namespace quonvera::test
