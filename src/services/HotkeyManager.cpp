#include "services/HotkeyManager.h"

#include "app/contract/PermissionManagerInterface.h"
#include "core/Log.h"
#include "core/MainQueue.h"
#include "models/Settings.h"

#include <string>

namespace quonvera {
namespace {

bool has(const KeyEvent& event, std::uint64_t flag) { return (event.flags & flag) != 0; }

bool isFnAlone(const HotkeyConfig& config) {
    return config.useFn && !config.useControl && !config.useOption && !config.useCommand && !config.useShift;
}

bool isEmpty(const HotkeyConfig& config) {
    return !config.useFn && !config.useControl && !config.useOption && !config.useCommand && !config.useShift &&
           !config.keyCode;
}

}  // namespace

HotkeyManager::HotkeyManager(MainQueue& mainQueue, KeyboardMonitor& monitor, PermissionManagerInterface& permissions)
    : mainQueue_(mainQueue), monitor_(monitor), permissions_(permissions), anchor_(std::make_shared<HotkeyManager*>(this)) {}

HotkeyManager::~HotkeyManager() { stop(); }

bool HotkeyManager::start() {
    if (running_) return true;
    if (!permissions_.isAccessibilityTrusted(false)) {
        logLine("HotkeyManager: Accessibility permission not granted");
        if (hasOpenedSettings_) return false;
        hasOpenedSettings_ = true;
        permissions_.isAccessibilityTrusted(true);  // tells the user what is missing
        logLine("HotkeyManager: Opening Accessibility settings - please enable Quonvera");
        return false;
    }
    if (!monitor_.start([this](const KeyEvent& event) { return handleEvent(event); })) {
        logLine("HotkeyManager: Failed to create event tap");
        return false;
    }
    running_ = true;
    logLine("HotkeyManager: Started successfully");
    return true;
}

void HotkeyManager::stop() {
    monitor_.stop();  // after this the handler is not running and will not run again
    running_ = false;
    {
        std::lock_guard lock(mutex_);
        isHotkeyPressed_ = false;
    }
    logLine("HotkeyManager: Stopped");
}

void HotkeyManager::setSettings(std::shared_ptr<Settings> settings) {
    settingsSubscriptions_.clear();
    settings_ = std::move(settings);
    {
        std::lock_guard lock(mutex_);
        choice_ = HotkeyChoice{};
        choice_.hasSettings = settings_ != nullptr;
    }
    if (!settings_) return;
    settingsSubscriptions_.push_back(settings_->hotkeyMode.subscribe([this](const HotkeyMode& mode) {
        std::lock_guard lock(mutex_);
        choice_.mode = mode;
    }));
    settingsSubscriptions_.push_back(settings_->hotkeyConfig.subscribe([this](const HotkeyConfig& config) {
        std::lock_guard lock(mutex_);
        choice_.config = config;
    }));
    settingsSubscriptions_.push_back(settings_->isRecordingHotkey.subscribe([this](const bool& recording) {
        std::lock_guard lock(mutex_);
        choice_.isRecordingHotkey = recording;
    }));
}

bool HotkeyManager::isHotkeyPressed() const {
    std::lock_guard lock(mutex_);
    return isHotkeyPressed_;
}

void HotkeyManager::setHotkeyPressed(bool pressed) {
    std::lock_guard lock(mutex_);
    setPressedLocked(pressed);
}

void HotkeyManager::setDelegate(std::weak_ptr<HotkeyManagerDelegate> delegate) { delegate_ = std::move(delegate); }

KeyDisposition HotkeyManager::handleEvent(const KeyEvent& event) {
    std::lock_guard lock(mutex_);
    const bool keyDown = event.type == KeyEventType::keyDown;
    if (keyDown && event.keyCode == VirtualKey::v && has(event, KeyFlag::command) && has(event, KeyFlag::control)) {
        logLine("HotkeyManager: Cmd+Ctrl+V pressed - paste transcription");
        queue(Notification::pasteShortcut);
        return KeyDisposition::swallow;
    }
    if (keyDown && isHotkeyPressed_ && event.keyCode == VirtualKey::escape) {
        logLine("HotkeyManager: Esc key pressed - cancelling");
        setPressedLocked(false);
        queue(Notification::escape);
        return KeyDisposition::swallow;
    }
    if (!choice_.hasSettings || choice_.isRecordingHotkey) return KeyDisposition::pass;
    if (choice_.mode == HotkeyMode::fnKey) {
        matchFnKey(event, nullptr);
    } else if (isEmpty(choice_.config)) {
        // An empty combination would otherwise "press" whenever every modifier is let go.
    } else if (!choice_.config.keyCode) {
        matchModifiers(event, choice_.config);
    } else {
        matchKeyCombination(event, choice_.config);
    }
    return KeyDisposition::pass;
}

void HotkeyManager::matchFnKey(const KeyEvent& event, const HotkeyConfig* customConfig) {
    if (event.type != KeyEventType::flagsChanged) return;
    const bool otherBits = (event.flags & ~(KeyFlag::fn | KeyFlag::nonCoalesced)) != 0;
    if (has(event, KeyFlag::fn) || (event.keyCode == VirtualKey::fn && otherBits)) {
        if (!isHotkeyPressed_) press(customConfig);
    } else if (event.keyCode == VirtualKey::fn && isHotkeyPressed_) {
        release(customConfig);
    }
}

void HotkeyManager::matchModifiers(const KeyEvent& event, const HotkeyConfig& config) {
    if (event.type != KeyEventType::flagsChanged) return;
    if (isFnAlone(config)) {
        matchFnKey(event, &config);
        return;
    }
    const bool agree = has(event, KeyFlag::control) == config.useControl &&
                       has(event, KeyFlag::option) == config.useOption &&
                       has(event, KeyFlag::command) == config.useCommand &&
                       has(event, KeyFlag::shift) == config.useShift && has(event, KeyFlag::fn) == config.useFn;
    if (agree && !isHotkeyPressed_) press(&config);
    else if (!agree && isHotkeyPressed_) release(&config);
}

void HotkeyManager::matchKeyCombination(const KeyEvent& event, const HotkeyConfig& config) {
    const std::uint16_t key = *config.keyCode;
    const bool modifiersHeld = (!config.useControl || has(event, KeyFlag::control)) &&
                               (!config.useOption || has(event, KeyFlag::option)) &&
                               (!config.useCommand || has(event, KeyFlag::command)) &&
                               (!config.useShift || has(event, KeyFlag::shift));
    const bool fnHeld = !config.useFn || has(event, KeyFlag::fn);
    switch (event.type) {
    case KeyEventType::keyDown:
        if (event.keyCode == key && modifiersHeld && fnHeld && !isHotkeyPressed_) press(&config);
        break;
    case KeyEventType::keyUp:
        if (event.keyCode == key && isHotkeyPressed_) release(&config);
        break;
    case KeyEventType::flagsChanged:
        if ((!modifiersHeld || !fnHeld) && isHotkeyPressed_) release(&config, " (modifiers changed)");
        break;
    }
}

void HotkeyManager::press(const HotkeyConfig* customConfig) {
    setPressedLocked(true);
    logLine("HotkeyManager: " + (customConfig ? customConfig->compactDescription() : std::string("fn key")) + " PRESSED");
    queue(Notification::press);
}

void HotkeyManager::release(const HotkeyConfig* customConfig, const char* suffix) {
    setPressedLocked(false);
    logLine("HotkeyManager: " + (customConfig ? customConfig->compactDescription() : std::string("fn key")) +
            " RELEASED" + suffix);
    queue(Notification::release);
}

void HotkeyManager::setPressedLocked(bool pressed) {
    isHotkeyPressed_ = pressed;
    monitor_.setEscapeGrabbed(pressed);
}

void HotkeyManager::queue(Notification notification) {
    std::weak_ptr<HotkeyManager*> anchor = anchor_;
    mainQueue_.post([anchor, notification] {
        const auto manager = anchor.lock();
        if (!manager) return;
        const auto delegate = (*manager)->delegate_.lock();
        if (!delegate) return;
        switch (notification) {
        case Notification::press: delegate->hotkeyManagerDidPressHotkey(); break;
        case Notification::release: delegate->hotkeyManagerDidReleaseHotkey(); break;
        case Notification::escape: delegate->hotkeyManagerDidPressEscape(); break;
        case Notification::pasteShortcut: delegate->hotkeyManagerDidPressPasteShortcut(); break;
        }
    });
}

}  // namespace quonvera
