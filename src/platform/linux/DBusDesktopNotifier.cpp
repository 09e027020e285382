#include "platform/linux/DBusDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace quonvera {

void DBusDesktopNotifier::notify(const std::string& title, const std::string& body) {
    QDBusMessage message =
        QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                       "org.freedesktop.Notifications", "Notify");
    message << QString("Quonvera") << 0u << QString("input-keyboard") << QString::fromStdString(title)
            << QString::fromStdString(body) << QStringList() << QVariantMap() << -1;
    QDBusConnection::sessionBus().send(message);
}

}  // namespace quonvera
