#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace quonvera {

class BackgroundTasks;
class JsonFileUserDefaults;
class QtMainQueue;
class Settings;

// Owns the application's long-lived objects for the whole run and its start and stop.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    AppDelegate();
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Runs once, whether the application quits from the menu or on SIGINT/SIGTERM.
    void applicationWillTerminate();

private:
    void installTerminationSignalHandlers();

    std::unique_ptr<QtMainQueue> mainQueue_;
    std::unique_ptr<BackgroundTasks> backgroundTasks_;
    std::unique_ptr<JsonFileUserDefaults> userDefaults_;
    std::shared_ptr<Settings> settings_;
    QSocketNotifier* signalNotifier_ = nullptr;
    bool terminated_ = false;
};

}  // namespace quonvera
