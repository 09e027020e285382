#pragma once

#include "platform/AppDirectories.h"

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace quonvera {

class AppCoordinator;
class BackgroundTasks;
class DesktopServices;
class JsonFileUserDefaults;
class NotificationCenter;
class OnDeviceRecognizerFactory;
class QtMainQueue;
class Settings;

// Owns the application's long-lived objects for the whole run, and its start and stop.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    // `recognizerFactory` makes the on-device speech recognizer (whisper.cpp, or one that says
    // local transcription is not part of the build).
    explicit AppDelegate(std::shared_ptr<OnDeviceRecognizerFactory> recognizerFactory);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Runs once, whether the application quits from the menu or on SIGINT/SIGTERM.
    void applicationWillTerminate();

private:
    void installTerminationSignalHandlers();

    std::shared_ptr<OnDeviceRecognizerFactory> recognizerFactory_;
    AppDirectories directories_;
    std::unique_ptr<QtMainQueue> mainQueue_;
    std::unique_ptr<BackgroundTasks> backgroundTasks_;
    std::unique_ptr<NotificationCenter> notificationCenter_;
    std::unique_ptr<JsonFileUserDefaults> userDefaults_;
    std::shared_ptr<Settings> settings_;
    std::unique_ptr<DesktopServices> services_;
    std::shared_ptr<AppCoordinator> coordinator_;
    QSocketNotifier* signalNotifier_ = nullptr;
    bool terminated_ = false;
};

}  // namespace quonvera
