// The permission checks against the X server (Xvfb), the session bus and xdg-open that
// scripts/with-test-servers.sh provides.
#include "support/QtEventLoop.h"
#include "core/Log.h"
#include "platform/linux/DBusDesktopNotifier.h"
#include "platform/linux/InstalledHelpPages.h"
#include "platform/linux/PulseSoundServerProbe.h"
#include "platform/linux/X11DisplayAccessProbe.h"
#include "platform/linux/XdgOpenUrlOpener.h"
#include "services/PermissionManager.h"
#include "support/TemporaryFolder.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

#include <X11/Xlib.h>  // after Qt: it defines macros that clash with Qt's names

namespace quonvera {
namespace {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Sets environment variables for one test and puts the old values back.
class Environment {
public:
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    void set(const std::string& name, const std::optional<std::string>& value) {
        if (!saved_.contains(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

// A notification service on the session bus that keeps what it is sent.
class NotificationServer final : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "Notify") return false;
        calls.push_back(message.arguments());
        connection.send(message.createReply(QVariant::fromValue(static_cast<uint>(calls.size()))));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
    std::vector<QList<QVariant>> calls;
};

class PermissionIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureQtApplication();
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "No X server: run under scripts/with-test-servers.sh";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "No session bus: run under scripts/with-test-servers.sh";
        // Xvfb starts over whenever its last client leaves and refuses connections meanwhile; a
        // desktop always has clients. Staying connected keeps the probe's own connections apart.
        keepAlive = XOpenDisplay(nullptr);
        ASSERT_NE(keepAlive, nullptr) << "The X server does not accept connections";
    }

    static void TearDownTestSuite() {
        if (keepAlive != nullptr) XCloseDisplay(keepAlive);
        keepAlive = nullptr;
    }

    void SetUp() override {
        environment.set("XDG_SESSION_TYPE", "x11");
        environment.set("WAYLAND_DISPLAY", std::nullopt);
    }

    static inline Display* keepAlive = nullptr;
    Environment environment;
    PulseSoundServerProbe soundServer;
    X11DisplayAccessProbe display;
    DBusDesktopNotifier notifier;
    XdgOpenUrlOpener urlOpener;
    PermissionManager permissions{soundServer, display, notifier, urlOpener, installedHelpPage("keyboard-access.html")};
};

TEST_F(PermissionIntegrationTest, AnX11SessionWithXInputAndXTestIsTrustedAndTheSoundServerAnswers) {
    const DisplayAccess access = display.probe();
    EXPECT_TRUE(access.displayOpens);
    EXPECT_TRUE(access.hasXInput22);
    EXPECT_TRUE(access.hasXTest);
    EXPECT_FALSE(access.waylandSession);
    EXPECT_TRUE(permissions.isAccessibilityTrusted(true));
    EXPECT_TRUE(permissions.microphoneAuthorized());
    EXPECT_EQ(permissions.currentStatus(), (PermissionStatus{true, true}));
}

TEST_F(PermissionIntegrationTest, AWaylandSessionIsNotTrustedAndThePromptIsOneDesktopNotification) {
    QDBusConnection service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notification-stand-in");
    NotificationServer server;
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/Notifications", &server));
    ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));

    environment.set("XDG_SESSION_TYPE", "wayland");
    EXPECT_FALSE(permissions.isAccessibilityTrusted(false));
    EXPECT_FALSE(permissions.isAccessibilityTrusted(true));
    EXPECT_FALSE(permissions.isAccessibilityTrusted(true));
    EXPECT_TRUE(test::pumpQtEventsUntil([&] { return !server.calls.empty(); }, std::chrono::milliseconds(3000)));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    ASSERT_EQ(server.calls.size(), 1u);
    const QList<QVariant>& arguments = server.calls[0];
    ASSERT_EQ(arguments.size(), 8);
    EXPECT_EQ(arguments[0].toString(), "Quonvera");
    EXPECT_EQ(arguments[3].toString().toStdString(), "Quonvera needs keyboard access");
    EXPECT_EQ(arguments[4].toString().toStdString(), *permissions.accessibilityProblem());
    EXPECT_NE(arguments[4].toString().indexOf("Wayland"), -1);

    service.unregisterService("org.freedesktop.Notifications");
    service.unregisterObject("/org/freedesktop/Notifications");
    QDBusConnection::disconnectFromBus("notification-stand-in");
}

TEST_F(PermissionIntegrationTest, WithoutADisplayKeyboardAccessIsMissingAndSaysWhy) {
    environment.set("DISPLAY", std::nullopt);
    EXPECT_FALSE(permissions.isAccessibilityTrusted(false));
    EXPECT_NE(permissions.accessibilityProblem()->find("DISPLAY is empty"), std::string::npos);
    environment.set("DISPLAY", ":59999");
    EXPECT_FALSE(permissions.isAccessibilityTrusted(false));
    EXPECT_NE(permissions.accessibilityProblem()->find(":59999 cannot be opened"), std::string::npos);
}

TEST_F(PermissionIntegrationTest, AccessibilitySettingsOpenTheHelpPageWithXdgOpen) {
    test::TemporaryFolder bin;
    const fs::path opened = bin / "opened.txt";
    {
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened.string() << ".part' && mv '" << opened.string()
               << ".part' '" << opened.string() << "'\n";
    }
    ::chmod((bin / "xdg-open").c_str(), 0755);
    environment.set("PATH", bin.path().string() + ":" + std::getenv("PATH"));

    permissions.openAccessibilitySettings();
    ASSERT_TRUE(test::pumpQtEventsUntil([&] { return fs::exists(opened); }, std::chrono::milliseconds(3000)));
    std::ifstream in(opened);
    const std::string url((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const fs::path page = installedHelpPage("keyboard-access.html");
    EXPECT_EQ(url, "file://" + page.string());
    EXPECT_TRUE(fs::exists(page));
}

}  // namespace
}  // namespace quonvera
