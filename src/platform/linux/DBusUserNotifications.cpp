#include "platform/linux/DBusUserNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace quonvera {
namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
constexpr int capabilitiesTimeoutMs = 500;

}  // namespace

bool DBusUserNotifications::serverReadsMarkup() {
    if (!serverReadsMarkup_) {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities")),
            QDBus::Block, capabilitiesTimeoutMs);
        // Without an answer, assume markup: an escaped "&amp;" is better than a lost text.
        serverReadsMarkup_ = reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
                             reply.arguments().first().toStringList().contains(QStringLiteral("body-markup"));
    }
    return *serverReadsMarkup_;
}

void DBusUserNotifications::show(const UserNotification& notification,
                                 std::function<void(std::optional<std::string> error)> completion) {
    QString body = QString::fromStdString(notification.body);
    if (serverReadsMarkup()) {
        body = body.toHtmlEscaped();  // the text is the user's, not markup
    }
    QVariantMap hints;
    if (notification.silent) {
        hints.insert(QStringLiteral("suppress-sound"), true);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    call << QStringLiteral("Quonvera") << 0u << QString() << QString::fromStdString(notification.title) << body
         << QStringList() << hints << -1;

    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), &pendingCalls_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
                         const QDBusPendingReply<uint> reply = *finished;
                         finished->deleteLater();
                         if (!completion) {
                             return;
                         }
                         if (reply.isError()) {
                             completion(reply.error().message().toStdString());
                         } else {
                             completion(std::nullopt);
                         }
                     });
}

}  // namespace quonvera
