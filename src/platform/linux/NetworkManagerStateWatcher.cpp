#include "platform/linux/NetworkManagerStateWatcher.h"

#include "platform/linux/NetworkManagerMonitor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

namespace quonvera {
namespace {

const QString service = QStringLiteral("org.freedesktop.NetworkManager");
const QString path = QStringLiteral("/org/freedesktop/NetworkManager");
const QString interface = QStringLiteral("org.freedesktop.NetworkManager");

}  // namespace

NetworkManagerStateWatcher::NetworkManagerStateWatcher(QDBusConnection bus, NetworkMonitor::Handler handler)
    : bus_(std::move(bus)), handler_(std::move(handler)) {}

void NetworkManagerStateWatcher::begin() {
    if (!bus_.isConnected() || !bus_.interface()) {
        handler_(true);
        return;
    }
    // Subscribed even when NetworkManager is not running yet, so that it is followed once it starts.
    bus_.connect(service, path, interface, QStringLiteral("StateChanged"), this, SLOT(onStateChanged(uint)));
    if (!bus_.interface()->isServiceRegistered(service).value()) {
        handler_(true);
        return;
    }
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

}  // namespace quonvera
