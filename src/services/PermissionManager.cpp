#include "services/PermissionManager.h"

#include "core/Log.h"

namespace quonvera {

namespace {

// A file URL for an absolute path, with everything but unreserved characters and "/" escaped.
std::string fileURL(const std::filesystem::path& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char c : path.string()) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
        }
    }
    return url;
}

}  // namespace

PermissionManager::PermissionManager(SoundServerProbe& soundServer, DisplayAccessProbe& display,
                                     DesktopNotifier& notifier, UrlOpener& urlOpener,
                                     std::filesystem::path keyboardAccessHelpPage)
    : soundServer_(soundServer),
      display_(display),
      notifier_(notifier),
      urlOpener_(urlOpener),
      helpPage_(std::move(keyboardAccessHelpPage)) {}

std::optional<std::string> PermissionManager::problemWith(const DisplayAccess& access) const {
    if (access.waylandSession)
        return "This is a Wayland session: the hotkey would only work in X11 windows and typing into native "
               "Wayland applications is not possible. Log in with an X11 session (often \"on Xorg\") to dictate.";
    if (!access.displayOpens)
        return access.displayName.empty()
                   ? std::string("No X display is set (DISPLAY is empty), so the keyboard cannot be watched.")
                   : "The X display " + access.displayName + " cannot be opened, so the keyboard cannot be watched.";
    if (!access.hasXInput22)
        return std::string("The X server lacks XInput 2.2, which is needed to watch the hotkey.");
    if (!access.hasXTest)
        return std::string("The X server lacks the XTEST extension, which is needed to type the text.");
    return std::nullopt;
}

std::optional<std::string> PermissionManager::accessibilityProblem() { return problemWith(display_.probe()); }

bool PermissionManager::isAccessibilityTrusted(bool prompt) {
    const auto problem = accessibilityProblem();
    if (!problem) return true;
    if (prompt && notifiedProblems_.insert(*problem).second) {
        logLine("PermissionManager: Keyboard access unavailable: " + *problem);
        notifier_.notify(notificationTitle, *problem);
    }
    return false;
}

bool PermissionManager::microphoneAuthorized() { return soundServer_.soundServerAnswers(); }

void PermissionManager::requestMicrophoneAccess(std::function<void(bool granted)> completion) {
    if (completion) completion(true);
}

void PermissionManager::openAccessibilitySettings() { urlOpener_.open(fileURL(helpPage_)); }

PermissionStatus PermissionManager::currentStatus() {
    return PermissionStatus{isAccessibilityTrusted(false), microphoneAuthorized()};
}

}  // namespace quonvera
