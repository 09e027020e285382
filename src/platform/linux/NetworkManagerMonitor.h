#pragma once

#include "platform/NetworkMonitor.h"

#include <QDBusConnection>

#include <memory>

class QThread;

namespace quonvera {

class NetworkManagerStateWatcher;

// Follows NetworkManager's overall state on the system bus from a thread of its own (which
// needs the Qt application object to exist). Without NetworkManager (no system bus, or nobody
// owns its name) the machine counts as connected.
class NetworkManagerMonitor final : public NetworkMonitor {
public:
    // `bus` is the system bus; tests pass another bus.
    explicit NetworkManagerMonitor(QDBusConnection bus = QDBusConnection::systemBus());
    ~NetworkManagerMonitor() override;

    void start(Handler handler) override;
    void cancel() override;

    // Whether NetworkManager's NMState value means a usable connection. Unknown states count
    // as connected, so that a broken or unfamiliar NetworkManager never blocks the user.
    static bool isConnectedState(unsigned state);

private:
    QDBusConnection bus_;
    std::unique_ptr<QThread> thread_;
    NetworkManagerStateWatcher* watcher_ = nullptr;
};

}  // namespace quonvera
