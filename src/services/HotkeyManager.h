#pragma once

#include "app/contract/HotkeyManagerInterface.h"
#include "core/Subscription.h"
#include "models/HotkeyConfig.h"
#include "models/KeyEvent.h"
#include "models/WhisperModel.h"
#include "platform/KeyboardMonitor.h"

#include <memory>
#include <mutex>

namespace quonvera {

class MainQueue;
class PermissionManagerInterface;

// Watches the session's keyboard and tells its delegate when the dictation hotkey goes down and
// up, when Esc is pressed while the hotkey is held, and when Command+Control+V is pressed.
//
// Events are matched on the keyboard monitor's thread against a copy of the hotkey settings
// that the settings' subscriptions keep current; the delegate is always called later, from a
// block queued on the main queue.
class HotkeyManager final : public HotkeyManagerInterface {
public:
    HotkeyManager(MainQueue& mainQueue, KeyboardMonitor& monitor, PermissionManagerInterface& permissions);
    ~HotkeyManager() override;
    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    bool start() override;
    void stop() override;
    void setSettings(std::shared_ptr<Settings> settings) override;
    bool isHotkeyPressed() const override;
    void setHotkeyPressed(bool pressed) override;
    void setDelegate(std::weak_ptr<HotkeyManagerDelegate> delegate) override;

    // Matches one event; swallow for the Esc and paste-shortcut key-downs it acts on. Runs on
    // the monitor's thread.
    KeyDisposition handleEvent(const KeyEvent& event);

private:
    enum class Notification { press, release, escape, pasteShortcut };

    // What the rules read from the settings.
    struct HotkeyChoice {
        bool hasSettings = false;
        bool isRecordingHotkey = false;
        HotkeyMode mode = HotkeyMode::fnKey;
        HotkeyConfig config;
    };

    // The three matching rules; called with mutex_ held.
    void matchFnKey(const KeyEvent& event, const HotkeyConfig* customConfig);
    void matchModifiers(const KeyEvent& event, const HotkeyConfig& config);
    void matchKeyCombination(const KeyEvent& event, const HotkeyConfig& config);
    void press(const HotkeyConfig* customConfig);
    void release(const HotkeyConfig* customConfig, const char* suffix = "");
    void setPressedLocked(bool pressed);
    void queue(Notification notification);

    MainQueue& mainQueue_;
    KeyboardMonitor& monitor_;
    PermissionManagerInterface& permissions_;
    std::weak_ptr<HotkeyManagerDelegate> delegate_;  // main thread only
    std::shared_ptr<Settings> settings_;
    SubscriptionSet settingsSubscriptions_;
    bool running_ = false;
    bool hasOpenedSettings_ = false;

    mutable std::mutex mutex_;  // guards what the monitor's thread touches
    bool isHotkeyPressed_ = false;
    HotkeyChoice choice_;

    // Queued blocks hold this weakly, standing in for a weak reference to the manager.
    std::shared_ptr<HotkeyManager*> anchor_;
};

}  // namespace quonvera
