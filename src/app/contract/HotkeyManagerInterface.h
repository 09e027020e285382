#pragma once

#include <memory>

namespace quonvera {

class Settings;

// What the global hotkey monitor reports. Delivered on the main queue.
class HotkeyManagerDelegate {
public:
    virtual ~HotkeyManagerDelegate() = default;
    virtual void hotkeyManagerDidPressHotkey() = 0;
    virtual void hotkeyManagerDidReleaseHotkey() = 0;
    virtual void hotkeyManagerDidPressEscape() = 0;
    virtual void hotkeyManagerDidPressPasteShortcut() = 0;
};

// The system-wide keyboard monitor that recognises the hotkey, Esc while it is held, and the
// paste-last shortcut.
class HotkeyManagerInterface {
public:
    virtual ~HotkeyManagerInterface() = default;
    // True when the keyboard monitor is installed and enabled.
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual void setSettings(std::shared_ptr<Settings> settings) = 0;
    virtual bool isHotkeyPressed() const = 0;
    virtual void setHotkeyPressed(bool pressed) = 0;
    // Held weakly: notifications are skipped once the delegate is gone.
    virtual void setDelegate(std::weak_ptr<HotkeyManagerDelegate> delegate) = 0;
};

}  // namespace quonvera
