// The NetworkManager connectivity source on the test session bus, with a stand-in
// NetworkManager object where one is needed.
#include "support/QtEventLoop.h"
#include "platform/linux/NetworkManagerMonitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <QVariant>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace quonvera {
namespace {

using namespace std::chrono_literals;

const QString nmService = QStringLiteral("org.freedesktop.NetworkManager");
const QString nmPath = QStringLiteral("/org/freedesktop/NetworkManager");

// Answers NetworkManager's "State" property and nothing else.
class FakeNetworkManager : public QDBusVirtualObject {
public:
    explicit FakeNetworkManager(QDBusConnection bus) : bus_(std::move(bus)) {}

    std::atomic<unsigned> state{20};

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
            message.member() == QLatin1String("Get") && message.arguments().value(1).toString() == "State") {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(state.load())))));
            return true;
        }
        return false;
    }
    QString introspect(const QString&) const override { return {}; }

    void emitStateChanged(unsigned newState) {
        state = newState;
        QDBusMessage signal = QDBusMessage::createSignal(nmPath, nmService, QStringLiteral("StateChanged"));
        signal << newState;
        bus_.send(signal);
    }

private:
    QDBusConnection bus_;
};

// Collects what the monitor reports.
class Reports {
public:
    NetworkMonitor::Handler handler() {
        return [this](bool connected) {
            std::lock_guard lock(mutex_);
            values_.push_back(connected);
            changed_.notify_all();
        };
    }
    // Waits until `count` reports arrived; returns them.
    std::vector<bool> waitFor(size_t count, std::chrono::milliseconds timeout = 5000ms) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return values_.size() >= count; });
        return values_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> values_;
};

QDBusConnection sessionBusOrFail(const QString& name) {
    test::ensureQtApplication();
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    EXPECT_TRUE(bus.isConnected()) << "No D-Bus session bus; run the test under scripts/with-test-servers.sh";
    return bus;
}

TEST(NetworkManagerMonitorTest, WithoutNetworkManagerTheMachineCountsAsConnected) {
    QDBusConnection bus = sessionBusOrFail(QStringLiteral("monitor-without-nm"));
    ASSERT_TRUE(bus.isConnected());
    ASSERT_FALSE(bus.interface()->isServiceRegistered(nmService).value());
    Reports reports;
    NetworkManagerMonitor monitor(bus);
    monitor.start(reports.handler());
    EXPECT_EQ(reports.waitFor(1), std::vector<bool>{true});
}

TEST(NetworkManagerMonitorTest, WithoutAnyBusTheMachineCountsAsConnected) {
    test::ensureQtApplication();
    Reports reports;
    NetworkManagerMonitor monitor(QDBusConnection(QStringLiteral("never-connected")));
    monitor.start(reports.handler());
    EXPECT_EQ(reports.waitFor(1), std::vector<bool>{true});
}

TEST(NetworkManagerMonitorTest, FollowsTheStateOfNetworkManager) {
    QDBusConnection serviceBus = sessionBusOrFail(QStringLiteral("fake-network-manager"));
    ASSERT_TRUE(serviceBus.isConnected());
    FakeNetworkManager networkManager(serviceBus);
    // The fake answers on a thread of its own, as a separate process would.
    QThread serviceThread;
    serviceThread.start();
    networkManager.moveToThread(&serviceThread);
    ASSERT_TRUE(serviceBus.registerVirtualObject(nmPath, &networkManager));
    ASSERT_TRUE(serviceBus.registerService(nmService));

    Reports reports;
    {
        NetworkManagerMonitor monitor(sessionBusOrFail(QStringLiteral("monitor-with-nm")));
        monitor.start(reports.handler());
        ASSERT_EQ(reports.waitFor(1), std::vector<bool>{false});  // disconnected at the start
        networkManager.emitStateChanged(70);                       // connected, global
        ASSERT_EQ(reports.waitFor(2), (std::vector<bool>{false, true}));
        networkManager.emitStateChanged(40);  // connecting
        ASSERT_EQ(reports.waitFor(3), (std::vector<bool>{false, true, false}));
        networkManager.emitStateChanged(50);  // local network only: a LAN service may still answer
        ASSERT_EQ(reports.waitFor(4), (std::vector<bool>{false, true, false, true}));
    }
    // Once the monitor is gone nothing more is reported.
    networkManager.emitStateChanged(20);
    EXPECT_EQ(reports.waitFor(5, 300ms).size(), 4u);

    serviceBus.unregisterService(nmService);
    serviceBus.unregisterObject(nmPath);
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-network-manager"));
    serviceThread.quit();
    serviceThread.wait();
}

TEST(NetworkManagerMonitorTest, StateValues) {
    for (unsigned state : {10u, 20u, 30u, 40u}) EXPECT_FALSE(NetworkManagerMonitor::isConnectedState(state)) << state;
    for (unsigned state : {0u, 50u, 60u, 70u, 99u}) EXPECT_TRUE(NetworkManagerMonitor::isConnectedState(state)) << state;
}

}  // namespace
}  // namespace quonvera
