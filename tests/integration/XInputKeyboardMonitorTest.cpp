// The hotkey manager on a real X server (Xvfb): keys are typed through XTEST, and a window of
// this test holds the input focus, standing in for the application the user is typing into.
#include "app/contract/PermissionManagerInterface.h"
#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "models/Settings.h"
#include "platform/fake/InMemoryUserDefaults.h"
#include "platform/linux/XInputKeyboardMonitor.h"
#include "services/HotkeyManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

// Last: Xlib defines macros (None, Bool) that clash with the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace quonvera {
namespace {

using namespace std::chrono_literals;

class TrustedPermissions final : public PermissionManagerInterface {
public:
    bool isAccessibilityTrusted(bool) override { return true; }
    bool microphoneAuthorized() override { return true; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override { completion(true); }
};

class RecordingDelegate final : public HotkeyManagerDelegate {
public:
    void hotkeyManagerDidPressHotkey() override { calls.emplace_back("press"); }
    void hotkeyManagerDidReleaseHotkey() override { calls.emplace_back("release"); }
    void hotkeyManagerDidPressEscape() override { calls.emplace_back("escape"); }
    void hotkeyManagerDidPressPasteShortcut() override { calls.emplace_back("paste"); }
    std::vector<std::string> calls;
};

// A busy Xvfb sometimes refuses a connection for a moment.
Display* openDisplay() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) return display;
        std::this_thread::sleep_for(20ms);
    }
    return nullptr;
}

template <typename Predicate>
bool eventually(Predicate done, std::chrono::milliseconds timeout = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A small window that has the input focus and records the keys it receives.
class FocusedWindow {
public:
    FocusedWindow() {
        display_ = openDisplay();
        if (!display_) return;
        const Window root = DefaultRootWindow(display_);
        window_ = XCreateSimpleWindow(display_, root, 10, 10, 200, 100, 0, 0, 0xffffff);
        XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(display_, window_);
        XEvent event;
        do XNextEvent(display_, &event);
        while (event.type != MapNotify);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~FocusedWindow() {
        if (display_) XCloseDisplay(display_);
    }
    bool isOpen() const { return display_ != nullptr; }

    // The key codes of the presses received until `marker` is pressed (marker excluded).
    std::vector<unsigned> pressesUntil(unsigned marker) {
        std::vector<unsigned> presses;
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
                if (event.type != KeyPress) continue;
                if (event.xkey.keycode == marker) return presses;
                presses.push_back(event.xkey.keycode);
            }
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            poll(&fd, 1, 50);
        }
        ADD_FAILURE() << "the focused window never received the marker key: is the keyboard frozen?";
        return presses;
    }

private:
    Display* display_ = nullptr;
    Window window_ = 0;
};

// Types through XTEST, and tells whether a key combination is grabbed by another client.
class Typist {
public:
    Typist() : display_(openDisplay()) {}
    ~Typist() {
        if (display_) XCloseDisplay(display_);
    }

    unsigned keycode(KeySym keysym) {
        refresh();
        return XKeysymToKeycode(display_, keysym);
    }
    void press(unsigned keycode) { send(keycode, True); }
    void release(unsigned keycode) { send(keycode, False); }
    void tap(unsigned keycode) {
        press(keycode);
        release(keycode);
    }

    // Whether another client holds a passive grab of this key and modifier combination. When
    // nobody does, the probe holds it for a moment itself: only ask when the monitor is not
    // about to grab it.
    bool isGrabbed(unsigned keycode, unsigned modifiers) {
        const Window root = DefaultRootWindow(display_);
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_KeyPress);
        XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
        XIGrabModifiers combination{static_cast<int>(modifiers), 0};
        const bool taken = XIGrabKeycode(display_, XIAllMasterDevices, static_cast<int>(keycode), root, XIGrabModeAsync,
                                         XIGrabModeAsync, False, &mask, 1, &combination) > 0;
        if (!taken) XIUngrabKeycode(display_, XIAllMasterDevices, static_cast<int>(keycode), root, 1, &combination);
        XSync(display_, False);
        return taken;
    }

private:
    void send(unsigned keycode, int isPress) {
        XTestFakeKeyEvent(display_, keycode, isPress, CurrentTime);
        XSync(display_, False);
    }
    void refresh() {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
        }
    }

    Display* display_;
};

class XInputKeyboardMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr)
            << "no X server: run this test under scripts/with-test-servers.sh, which starts Xvfb";
        ASSERT_TRUE(window.isOpen()) << "cannot open the X display " << std::getenv("DISPLAY");
        manager.setSettings(settings);
        manager.setDelegate(delegate);
        ASSERT_TRUE(manager.start());
        rightCtrl = typist.keycode(XK_Control_R);
        leftCtrl = typist.keycode(XK_Control_L);
        super = typist.keycode(XK_Super_L);
        shift = typist.keycode(XK_Shift_L);
        escape = typist.keycode(XK_Escape);
        v = typist.keycode(XK_v);
        marker = typist.keycode(XK_a);
    }

    void TearDown() override { manager.stop(); }

    bool waitForCalls(std::size_t count, std::chrono::milliseconds timeout = 3000ms) {
        return queue.waitFor([&] { return delegate->calls.size() >= count; }, timeout);
    }
    // For calls that must not come: long enough for the monitor to have seen every key typed.
    bool callsArrive(std::size_t count) { return waitForCalls(count, 300ms); }
    std::vector<unsigned> pressesUntilMarker() {
        typist.tap(marker);
        return window.pressesUntil(marker);
    }

    FocusedWindow window;
    Typist typist;
    ManualMainQueue queue;
    TrustedPermissions permissions;
    XInputKeyboardMonitor monitor{"", std::string("Control_R")};
    InMemoryUserDefaults defaults;
    std::shared_ptr<Settings> settings = std::make_shared<Settings>(defaults);
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    HotkeyManager manager{queue, monitor, permissions};
    unsigned rightCtrl = 0, leftCtrl = 0, super = 0, shift = 0, escape = 0, v = 0, marker = 0;
};

TEST_F(XInputKeyboardMonitorTest, PressAndReleaseOfTheFnStandInReachTheDelegateOnceEach) {
    typist.tap(rightCtrl);
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(pressesUntilMarker(), std::vector<unsigned>{rightCtrl}) << "the hotkey itself is never swallowed";
    EXPECT_FALSE(callsArrive(3));
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"press", "release"}));
}

TEST_F(XInputKeyboardMonitorTest, EscIsSwallowedWhileTheHotkeyIsHeldInEveryLockStateAndOnlyThen) {
    struct LockState { const char* name; std::vector<KeySym> toggles; };
    const LockState states[] = {{"no lock", {}}, {"Caps Lock", {XK_Caps_Lock}}, {"Num Lock", {XK_Num_Lock}},
                                {"Caps Lock and Num Lock", {XK_Caps_Lock, XK_Num_Lock}}};
    std::size_t expectedCalls = 0;
    for (const auto& state : states) {
        SCOPED_TRACE(state.name);
        std::vector<unsigned> toggles;
        for (KeySym keysym : state.toggles) toggles.push_back(typist.keycode(keysym));
        for (unsigned key : toggles) typist.tap(key);
        EXPECT_EQ(pressesUntilMarker(), toggles);

        typist.tap(escape);
        EXPECT_EQ(pressesUntilMarker(), std::vector<unsigned>{escape}) << "Esc while the hotkey is up is typed";
        EXPECT_FALSE(typist.isGrabbed(escape, 0));

        typist.press(rightCtrl);
        ASSERT_TRUE(waitForCalls(expectedCalls + 1));
        EXPECT_TRUE(typist.isGrabbed(escape, ControlMask)) << "the grab is in place before the press is reported";
        typist.tap(escape);
        ASSERT_TRUE(waitForCalls(expectedCalls + 2));
        typist.release(rightCtrl);
        EXPECT_EQ(pressesUntilMarker(), std::vector<unsigned>{rightCtrl}) << "Esc was swallowed";
        EXPECT_TRUE(eventually([&] { return !typist.isGrabbed(escape, 0); })) << "the Esc grab ends with the hotkey";
        expectedCalls += 2;

        for (unsigned key : toggles) typist.tap(key);
        EXPECT_EQ(pressesUntilMarker(), toggles);
    }
    EXPECT_FALSE(callsArrive(expectedCalls + 1)) << "letting go of the hotkey after Esc sends nothing";
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(states); ++i) expected.insert(expected.end(), {"press", "escape"});
    EXPECT_EQ(delegate->calls, expected);
}

TEST_F(XInputKeyboardMonitorTest, SuperCtrlVIsSwallowedAndReportedAlsoWithShiftAndCapsLock) {
    const unsigned capsLock = typist.keycode(XK_Caps_Lock);
    struct Case { const char* name; std::vector<unsigned> modifiers; bool capsLockOn; };
    const Case cases[] = {{"Super+Ctrl+V", {super, leftCtrl}, false},
                          {"Ctrl+Super+Shift+V", {leftCtrl, super, shift}, false},
                          {"Super+Ctrl+V with Caps Lock on", {super, leftCtrl}, true}};
    std::size_t expectedCalls = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.capsLockOn) typist.tap(capsLock);
        for (unsigned key : c.modifiers) typist.press(key);
        typist.tap(v);
        typist.tap(v);
        for (auto key = c.modifiers.rbegin(); key != c.modifiers.rend(); ++key) typist.release(*key);
        std::vector<unsigned> expectedPresses = c.modifiers;
        if (c.capsLockOn) expectedPresses.insert(expectedPresses.begin(), capsLock);
        EXPECT_EQ(pressesUntilMarker(), expectedPresses) << "V never reaches the focused window";
        expectedCalls += 2;
        EXPECT_TRUE(waitForCalls(expectedCalls));
        if (c.capsLockOn) typist.tap(capsLock);
    }
    EXPECT_EQ(delegate->calls, std::vector<std::string>(expectedCalls, "paste"));
    typist.tap(v);
    EXPECT_EQ(pressesUntilMarker(), (std::vector<unsigned>{capsLock, v})) << "V alone is typed";
}

TEST_F(XInputKeyboardMonitorTest, SuperWithTheFnStandInAndVIsHandedOnToTheFocusedWindow) {
    // Right Ctrl sets the X Control modifier, so the grab fires; but it stands in for fn, so this
    // is not the paste shortcut and the key must be replayed to the window.
    typist.press(super);
    typist.press(rightCtrl);
    typist.tap(v);
    typist.release(super);
    typist.release(rightCtrl);
    EXPECT_EQ(pressesUntilMarker(), (std::vector<unsigned>{super, rightCtrl, v}));
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"press", "release"}));
}

TEST_F(XInputKeyboardMonitorTest, AfterALayoutChangeThePasteShortcutFollowsTheKeyLabelledV) {
    struct RestoreLayout {
        ~RestoreLayout() { [[maybe_unused]] const int status = std::system("setxkbmap us"); }
    } restore;
    const unsigned usV = v;
    LogCapture log;
    ASSERT_EQ(std::system("setxkbmap dvorak"), 0) << "setxkbmap failed";
    ASSERT_TRUE(eventually([&] { return log.contains("XInputKeyboardMonitor: Keyboard layout changed"); }));
    const unsigned dvorakV = typist.keycode(XK_v);
    ASSERT_NE(dvorakV, usV) << "the layout did not change";
    EXPECT_TRUE(typist.isGrabbed(dvorakV, Mod4Mask | ControlMask));
    EXPECT_FALSE(typist.isGrabbed(usV, Mod4Mask | ControlMask));

    typist.press(super);
    typist.press(leftCtrl);
    typist.tap(dvorakV);
    typist.tap(usV);
    typist.release(leftCtrl);
    typist.release(super);
    EXPECT_EQ(pressesUntilMarker(), (std::vector<unsigned>{super, leftCtrl, usV}));
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_FALSE(callsArrive(2));
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"paste"});
}

TEST(XInputKeyboardMonitorStartTest, StartFailsWhenTheDisplayCannotBeOpened) {
    ManualMainQueue queue;
    TrustedPermissions permissions;
    XInputKeyboardMonitor monitor{":9999"};
    HotkeyManager manager{queue, monitor, permissions};
    LogCapture log;
    EXPECT_FALSE(manager.start());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"XInputKeyboardMonitor: Cannot open the X display",
                                                     "HotkeyManager: Failed to create event tap"}));
}

}  // namespace
}  // namespace quonvera
