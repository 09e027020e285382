#pragma once

#include "platform/NetworkMonitor.h"

#include <QDBusConnection>
#include <QObject>

namespace quonvera {

// Lives on the monitor's thread: reads NetworkManager's state once, then follows its
// StateChanged signal.
class NetworkManagerStateWatcher : public QObject {
    Q_OBJECT
public:
    NetworkManagerStateWatcher(QDBusConnection bus, NetworkMonitor::Handler handler);

public slots:
    void begin();
    void onStateChanged(uint state);

private:
    QDBusConnection bus_;
    NetworkMonitor::Handler handler_;
};

}  // namespace quonvera
