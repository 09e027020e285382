#include "platform/linux/NetworkManagerMonitor.h"

#include "platform/linux/NetworkManagerStateWatcher.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMetaObject>
#include <QThread>

namespace quonvera {
namespace {

const QString service = QStringLiteral("org.freedesktop.NetworkManager");
const QString path = QStringLiteral("/org/freedesktop/NetworkManager");
const QString interface = QStringLiteral("org.freedesktop.NetworkManager");

}  // namespace

NetworkManagerStateWatcher::NetworkManagerStateWatcher(QDBusConnection bus, NetworkMonitor::Handler handler)
    : bus_(std::move(bus)), handler_(std::move(handler)) {}

void NetworkManagerStateWatcher::begin() {
    if (!bus_.isConnected() || !bus_.interface() || !bus_.interface()->isServiceRegistered(service).value()) {
        handler_(true);
        return;
    }
    bus_.connect(service, path, interface, QStringLiteral("StateChanged"), this, SLOT(onStateChanged(uint)));
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << interface << QStringLiteral("State");
    const QDBusReply<QDBusVariant> reply = bus_.call(get, QDBus::Block, 5000);
    if (!reply.isValid()) {
        handler_(true);
        return;
    }
    handler_(NetworkManagerMonitor::isConnectedState(reply.value().variant().toUInt()));
}

void NetworkManagerStateWatcher::onStateChanged(uint state) { handler_(NetworkManagerMonitor::isConnectedState(state)); }

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
