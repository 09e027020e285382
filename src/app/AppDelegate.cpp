#include "app/AppDelegate.h"

#include "app/AppCoordinator.h"
#include "app/AppDelegateServices.h"
#include "core/BackgroundTasks.h"
#include "core/NotificationCenter.h"
#include "core/Log.h"
#include "models/Settings.h"
#include "platform/linux/JsonFileUserDefaults.h"
#include "platform/linux/QtMainQueue.h"
#include "platform/OnDeviceRecognizer.h"
#include "platform/linux/XdgAppDirectories.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quonvera {
namespace {

int signalPipe[2] = {-1, -1};

void forwardTerminationSignal(int signalNumber) {
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

AppDelegate::AppDelegate(std::shared_ptr<OnDeviceRecognizerFactory> recognizerFactory)
    : recognizerFactory_(std::move(recognizerFactory)),
      directories_(xdgAppDirectories()),
      mainQueue_(std::make_unique<QtMainQueue>(this)),
      backgroundTasks_(std::make_unique<BackgroundTasks>(*mainQueue_)),
      notificationCenter_(std::make_unique<NotificationCenter>()) {}

AppDelegate::~AppDelegate() { applicationWillTerminate(); }

void AppDelegate::applicationDidFinishLaunching() {
    installTerminationSignalHandlers();
    userDefaults_ = std::make_unique<JsonFileUserDefaults>(directories_.userDefaultsFile);
    settings_ = Settings::load(*userDefaults_);
    logLine("AppDelegate: Application launched");
    logLine("AppDelegate: Settings loaded from " + directories_.userDefaultsFile.string() + " (model " +
            std::string(rawValue(settings_->whisperModel.get())) + ", hotkey " +
            (settings_->hotkeyMode.get() == HotkeyMode::fnKey ? std::string("fn")
                                                               : settings_->hotkeyConfig.get().longDescription()) +
            ")");
    services_ = std::make_unique<DesktopServices>(DesktopServices::Environment{
        *mainQueue_, *backgroundTasks_, *notificationCenter_, *userDefaults_, settings_, directories_, recognizerFactory_});
    coordinator_ = AppCoordinator::create(services_->coordinatorServices());
    coordinator_->start();
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    logLine("AppDelegate: Application terminating");
    if (coordinator_) coordinator_->cleanup();
    // Running tasks are asked to stop and joined before the services they use go away.
    backgroundTasks_.reset();
    coordinator_.reset();
    services_.reset();
    if (userDefaults_) userDefaults_->flush();
}

// Signal handlers may only write to a pipe; the event loop reads it and quits normally, so
// the usual clean-up runs.
void AppDelegate::installTerminationSignalHandlers() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    signalNotifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(signalPipe[0], &byte, 1);
        logLine("AppDelegate: Received signal " + std::to_string(static_cast<int>(byte)) + ", quitting");
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = forwardTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace quonvera
