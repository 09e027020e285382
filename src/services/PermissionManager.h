#pragma once

#include "app/contract/PermissionManagerInterface.h"
#include "models/PermissionStatus.h"
#include "platform/DesktopNotifier.h"
#include "platform/DisplayAccessProbe.h"
#include "platform/SoundServerProbe.h"
#include "platform/UrlOpener.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace quonvera {

// The microphone and keyboard access on the Linux desktop. There is no permission system:
// - the microphone counts as authorized when a sound server answers; nothing is ever refused,
//   so a request is granted at once (a missing server then surfaces as the recorder's error);
// - keyboard access counts as trusted when the X display opens with XInput 2.2 and XTEST and
//   the session is not a Wayland session (there only X11 windows would see the hotkey);
// - the prompt is one desktop notification saying what is missing, shown once per reason;
// - the accessibility settings are the application's help page on keyboard access.
// Main thread only.
class PermissionManager final : public PermissionManagerInterface {
public:
    PermissionManager(SoundServerProbe& soundServer, DisplayAccessProbe& display, DesktopNotifier& notifier,
                      UrlOpener& urlOpener, std::filesystem::path keyboardAccessHelpPage);

    bool isAccessibilityTrusted(bool prompt) override;
    bool microphoneAuthorized() override;
    void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
    // Opens the help page on keyboard access with the desktop's browser.
    void openAccessibilitySettings();

    // Why keyboard access is missing, in a sentence for the user; none when it is available.
    std::optional<std::string> accessibilityProblem();
    PermissionStatus currentStatus();

    static constexpr const char* notificationTitle = "Quonvera needs keyboard access";

private:
    std::optional<std::string> problemWith(const DisplayAccess& access) const;

    SoundServerProbe& soundServer_;
    DisplayAccessProbe& display_;
    DesktopNotifier& notifier_;
    UrlOpener& urlOpener_;
    std::filesystem::path helpPage_;
    std::set<std::string> notifiedProblems_;
};

}  // namespace quonvera
