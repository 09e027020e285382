#pragma once

#include "app/AppCoordinator.h"

#include <memory>

namespace quonvera {

class BackgroundTasks;
class MainQueue;
class NotificationCenter;
class OnDeviceRecognizerFactory;
class Settings;
class UserDefaults;
struct AppDirectories;

// The real services of the Linux desktop and the system pieces they stand on, owned together
// so that every service outlives nothing it uses.
class DesktopServices {
public:
    struct Environment {
        MainQueue& mainQueue;
        BackgroundTasks& backgroundTasks;
        NotificationCenter& notificationCenter;
        UserDefaults& userDefaults;
        std::shared_ptr<Settings> settings;
        const AppDirectories& directories;
        std::shared_ptr<OnDeviceRecognizerFactory> recognizerFactory;
    };

    explicit DesktopServices(Environment environment);
    ~DesktopServices();
    DesktopServices(const DesktopServices&) = delete;
    DesktopServices& operator=(const DesktopServices&) = delete;

    // What the coordinator drives.
    AppCoordinatorServices coordinatorServices();

private:
    struct Parts;
    Environment environment_;
    std::unique_ptr<Parts> parts_;
};

}  // namespace quonvera
