#include "app/AppDelegateServices.h"

#include "platform/AppDirectories.h"
#include "platform/OnDeviceRecognizer.h"
#include "platform/linux/AtspiFocusedText.h"
#include "platform/linux/DBusDesktopNotifier.h"
#include "platform/linux/DBusUserNotifications.h"
#include "platform/linux/InstalledHelpPages.h"
#include "platform/linux/LibcurlHttpClient.h"
#include "platform/linux/NetworkManagerMonitor.h"
#include "platform/linux/PulseAudioCaptureSource.h"
#include "platform/linux/PulseAudioDeviceCatalog.h"
#include "platform/linux/PulseAudioSystemSounds.h"
#include "platform/linux/PulseSoundServerProbe.h"
#include "platform/linux/QtClipboard.h"
#include "platform/linux/X11ActiveWindow.h"
#include "platform/linux/X11DisplayAccessProbe.h"
#include "platform/linux/XInputKeyboardMonitor.h"
#include "platform/linux/XTestKeystrokeSender.h"
#include "platform/linux/XdgAppDirectories.h"
#include "platform/linux/XdgOpenUrlOpener.h"
#include "services/AnalyticsService.h"
#include "services/AudioDeviceManager.h"
#include "services/AudioEngine.h"
#include "services/ClaudeEnhancementService.h"
#include "services/CloudTranscriptionService.h"
#include "services/HotkeyManager.h"
#include "services/InstallIDManager.h"
#include "services/PermissionManager.h"
#include "services/ServiceUrl.h"
#include "services/TextInsertionService.h"
#include "services/TranscriptHistoryService.h"
#include "services/TranscriptionEngine.h"

namespace quonvera {

// Declaration order is construction order: the system pieces first, then the services that
// hold references to them. Destruction runs the other way.
struct DesktopServices::Parts {
    explicit Parts(const Environment& env)
        : installId(InstallIDManager(env.userDefaults).installID()),
          baseUrl(serviceBaseUrl()),
          devices(env.mainQueue, deviceCatalog),
          permissions(std::make_shared<PermissionManager>(soundServer, displayProbe, desktopNotifier, urlOpener,
                                                          installedHelpPage("keyboard-access.html"))),
          audioEngine(std::make_shared<AudioEngine>(env.mainQueue, captureSource, devices, *permissions,
                                                    env.directories.temporary, ensurePrivateFolder)),
          hotkeyManager(std::make_shared<HotkeyManager>(env.mainQueue, keyboard, *permissions)),
          textInsertion(std::make_shared<TextInsertionService>(
              TextInsertionService::Platform{activeWindow, focusedText, keystrokes, *clipboard, notifications})),
          cloud(std::make_shared<CloudTranscriptionService>(http, std::make_unique<NetworkManagerMonitor>(), installId,
                                                            baseUrl)),
          enhancement(std::make_shared<ClaudeEnhancementService>(http, installId, baseUrl)),
          router(std::make_shared<TranscriptionEngine>(*env.settings, env.mainQueue, env.backgroundTasks, cloud,
                                                       env.recognizerFactory)),
          history(std::make_shared<TranscriptHistoryService>(env.mainQueue, env.directories)),
          analytics(std::make_shared<AnalyticsService>(env.userDefaults)) {
        // Without the settings the monitor recognises no hotkey at all.
        hotkeyManager->setSettings(env.settings);
    }

    // System pieces.
    PulseAudioDeviceCatalog deviceCatalog;
    PulseAudioCaptureSource captureSource;
    PulseSoundServerProbe soundServer;
    X11DisplayAccessProbe displayProbe;
    DBusDesktopNotifier desktopNotifier;
    XdgOpenUrlOpener urlOpener;
    XInputKeyboardMonitor keyboard;
    X11ActiveWindow activeWindow;
    AtspiFocusedText focusedText;
    XTestKeystrokeSender keystrokes;
    DBusUserNotifications notifications;
    LibcurlHttpClient http;
    std::shared_ptr<QtClipboard> clipboard = std::make_shared<QtClipboard>();
    std::shared_ptr<PulseAudioSystemSounds> sounds = std::make_shared<PulseAudioSystemSounds>();
    std::string installId;
    std::string baseUrl;

    // Services.
    AudioDeviceManager devices;
    std::shared_ptr<PermissionManager> permissions;
    std::shared_ptr<AudioEngine> audioEngine;
    std::shared_ptr<HotkeyManager> hotkeyManager;
    std::shared_ptr<TextInsertionService> textInsertion;
    std::shared_ptr<CloudTranscriptionService> cloud;
    std::shared_ptr<ClaudeEnhancementService> enhancement;
    std::shared_ptr<TranscriptionEngine> router;
    std::shared_ptr<TranscriptHistoryService> history;
    std::shared_ptr<AnalyticsService> analytics;
};

DesktopServices::DesktopServices(Environment environment)
    : environment_(std::move(environment)), parts_(std::make_unique<Parts>(environment_)) {}

DesktopServices::~DesktopServices() = default;

AppCoordinatorServices DesktopServices::coordinatorServices() {
    return AppCoordinatorServices{environment_.mainQueue,
                                  environment_.backgroundTasks,
                                  environment_.notificationCenter,
                                  environment_.settings,
                                  parts_->hotkeyManager,
                                  parts_->audioEngine,
                                  parts_->router,
                                  parts_->textInsertion,
                                  parts_->history,
                                  parts_->analytics,
                                  parts_->enhancement,
                                  parts_->permissions,
                                  parts_->sounds,
                                  parts_->clipboard};
}

}  // namespace quonvera
