#include "core/Log.h"
#include "platform/fake/FakeDesktopNotifier.h"
#include "platform/fake/FakeDisplayAccessProbe.h"
#include "platform/fake/FakeSoundServerProbe.h"
#include "platform/fake/FakeUrlOpener.h"
#include "services/PermissionManager.h"

#include <gtest/gtest.h>

namespace quonvera {
namespace {

class PermissionManagerTest : public ::testing::Test {
protected:
    FakeSoundServerProbe soundServer;
    FakeDisplayAccessProbe display;
    FakeDesktopNotifier notifier;
    FakeUrlOpener urlOpener;
    PermissionManager permissions{soundServer, display, notifier, urlOpener,
                                  "/usr/share/quonvera/help/keyboard-access.html"};
};

TEST_F(PermissionManagerTest, KeyboardAccessNeedsAnX11DisplayWithXInput22AndXTest) {
    struct Case {
        const char* name;
        DisplayAccess access;
        bool trusted;
        std::string reasonMentions;
    };
    const std::vector<Case> cases = {
        {"everything present", {true, true, true, false, ":0"}, true, ""},
        {"wayland session", {true, true, true, true, ":0"}, false, "Wayland session"},
        {"no display set", {false, false, false, false, ""}, false, "DISPLAY is empty"},
        {"display does not open", {false, false, false, false, ":7"}, false, "X display :7 cannot be opened"},
        {"no XInput 2.2", {true, false, true, false, ":0"}, false, "XInput 2.2"},
        {"no XTEST", {true, true, false, false, ":0"}, false, "XTEST"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        display.access = c.access;
        EXPECT_EQ(permissions.isAccessibilityTrusted(false), c.trusted);
        const auto problem = permissions.accessibilityProblem();
        EXPECT_EQ(problem.has_value(), !c.trusted);
        if (problem) {
            EXPECT_NE(problem->find(c.reasonMentions), std::string::npos) << *problem;
        }
    }
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(PermissionManagerTest, ThePromptIsOneNotificationPerReason) {
    display.access.waylandSession = true;
    LogCapture log;
    EXPECT_FALSE(permissions.isAccessibilityTrusted(true));
    EXPECT_FALSE(permissions.isAccessibilityTrusted(true));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].first, "Quonvera needs keyboard access");
    EXPECT_EQ(notifier.shown[0].second, *permissions.accessibilityProblem());
    EXPECT_EQ(log.linesStartingWith("PermissionManager: Keyboard access unavailable: ").size(), 1u);

    display.access = {true, true, false, false, ":0"};
    EXPECT_FALSE(permissions.isAccessibilityTrusted(true));
    EXPECT_EQ(notifier.shown.size(), 2u);

    display.access = {true, true, true, false, ":0"};
    EXPECT_TRUE(permissions.isAccessibilityTrusted(true));
    EXPECT_EQ(notifier.shown.size(), 2u);
}

TEST_F(PermissionManagerTest, TheMicrophoneIsAuthorizedWhenTheSoundServerAnswersAndNeverRefused) {
    EXPECT_TRUE(permissions.microphoneAuthorized());
    soundServer.answers = false;
    EXPECT_FALSE(permissions.microphoneAuthorized());
    std::vector<bool> answers;
    permissions.requestMicrophoneAccess([&](bool granted) { answers.push_back(granted); });
    EXPECT_EQ(answers, std::vector<bool>{true});
}

TEST_F(PermissionManagerTest, StatusStartsFalseAndFollowsTheChecks) {
    EXPECT_EQ(PermissionStatus{}, (PermissionStatus{false, false}));
    EXPECT_EQ(permissions.currentStatus(), (PermissionStatus{true, true}));
    soundServer.answers = false;
    display.access.hasXTest = false;
    EXPECT_EQ(permissions.currentStatus(), (PermissionStatus{false, false}));
    EXPECT_TRUE(notifier.shown.empty());
}

TEST_F(PermissionManagerTest, AccessibilitySettingsOpenTheInstalledHelpPage) {
    permissions.openAccessibilitySettings();
    PermissionManager elsewhere{soundServer, display, notifier, urlOpener, "/opt/My Apps/quonvera/help #1/page.html"};
    elsewhere.openAccessibilitySettings();
    EXPECT_EQ(urlOpener.opened, (std::vector<std::string>{"file:///usr/share/quonvera/help/keyboard-access.html",
                                                          "file:///opt/My%20Apps/quonvera/help%20%231/page.html"}));
}

}  // namespace
}  // namespace quonvera
