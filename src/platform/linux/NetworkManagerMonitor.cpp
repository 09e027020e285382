#include "platform/linux/NetworkManagerMonitor.h"

#include "platform/linux/NetworkManagerStateWatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace quonvera {

NetworkManagerMonitor::NetworkManagerMonitor(QDBusConnection bus) : bus_(std::move(bus)) {}

NetworkManagerMonitor::~NetworkManagerMonitor() { cancel(); }

bool NetworkManagerMonitor::isConnectedState(unsigned state) {
    switch (state) {
        case 10:  // asleep
        case 20:  // disconnected
        case 30:  // disconnecting
        case 40:  // connecting
            return false;
        default:  // 0 unknown, 50 local, 60 site, 70 global
            return true;
    }
}

void NetworkManagerMonitor::start(Handler handler) {
    if (thread_) return;
    if (!QCoreApplication::instance()) {
        // Qt's D-Bus signals need an application object; without one the state cannot be followed.
        handler(true);
        return;
    }
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("com.quonvera.networkMonitor"));
    watcher_ = new NetworkManagerStateWatcher(bus_, std::move(handler));
    watcher_->moveToThread(thread_.get());
    // The watcher is deleted on its own thread as it ends, which also drops its D-Bus signal connection.
    QObject::connect(thread_.get(), &QThread::finished, watcher_, &QObject::deleteLater);
    thread_->start();
    QMetaObject::invokeMethod(watcher_, &NetworkManagerStateWatcher::begin, Qt::QueuedConnection);
}

void NetworkManagerMonitor::cancel() {
    if (!thread_) return;
    thread_->quit();
    thread_->wait();
    watcher_ = nullptr;
    thread_.reset();
}

}  // namespace quonvera
