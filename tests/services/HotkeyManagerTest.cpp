#include "services/HotkeyManager.h"

#include "app/contract/PermissionManagerInterface.h"
#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "models/Settings.h"
#include "platform/fake/FakeKeyboardMonitor.h"
#include "platform/fake/InMemoryUserDefaults.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace quonvera {
namespace {

class FakePermissions final : public PermissionManagerInterface {
public:
    bool isAccessibilityTrusted(bool prompt) override {
        if (prompt) ++prompts;
        return trusted;
    }
    bool microphoneAuthorized() override { return true; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override { completion(true); }

    bool trusted = true;
    int prompts = 0;
};

class RecordingDelegate final : public HotkeyManagerDelegate {
public:
    void hotkeyManagerDidPressHotkey() override { calls.emplace_back("press"); }
    void hotkeyManagerDidReleaseHotkey() override { calls.emplace_back("release"); }
    void hotkeyManagerDidPressEscape() override { calls.emplace_back("escape"); }
    void hotkeyManagerDidPressPasteShortcut() override { calls.emplace_back("paste"); }
    std::vector<std::string> calls;
};

constexpr std::uint64_t hw = KeyFlag::nonCoalesced;
constexpr std::uint64_t shift = KeyFlag::shift, control = KeyFlag::control, option = KeyFlag::option,
                        command = KeyFlag::command, fn = KeyFlag::fn;
constexpr std::uint16_t kK = 40;

KeyEvent down(std::uint16_t code, std::uint64_t flags = 0, bool repeat = false) {
    return {KeyEventType::keyDown, code, hw | flags, repeat};
}
KeyEvent up(std::uint16_t code, std::uint64_t flags = 0) { return {KeyEventType::keyUp, code, hw | flags, false}; }
KeyEvent changed(std::uint16_t code, std::uint64_t flags) { return {KeyEventType::flagsChanged, code, hw | flags, false}; }

HotkeyConfig combo(bool ctrl, bool opt, bool cmd, bool shf, bool useFn, std::optional<std::uint16_t> key = std::nullopt) {
    HotkeyConfig config;
    config.useControl = ctrl;
    config.useOption = opt;
    config.useCommand = cmd;
    config.useShift = shf;
    config.useFn = useFn;
    config.keyCode = key;
    return config;
}

class HotkeyManagerTest : public ::testing::Test {
protected:
    HotkeyManagerTest() {
        manager->setSettings(settings);
        manager->setDelegate(delegate);
    }

    void configure(HotkeyMode mode, HotkeyConfig config = {}) {
        settings->hotkeyMode = mode;
        settings->hotkeyConfig = config;
    }

    // Types `event`; true when the focused application receives it.
    bool type(const KeyEvent& event) { return keyboard.deliver(event); }

    std::vector<std::string> notifications() {
        queue.runUntilIdle();
        return delegate->calls;
    }

    ManualMainQueue queue;
    FakeKeyboardMonitor keyboard;
    FakePermissions permissions;
    InMemoryUserDefaults defaults;
    std::shared_ptr<Settings> settings = std::make_shared<Settings>(defaults);
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::unique_ptr<HotkeyManager> manager = std::make_unique<HotkeyManager>(queue, keyboard, permissions);
};

struct Step {
    KeyEvent event;
    bool reachesApplication = true;
};

struct RuleCase {
    const char* name;
    HotkeyMode mode;
    HotkeyConfig config;
    std::vector<Step> steps;
    std::vector<std::string> notifications;
    std::vector<std::string> logLines;  // every "HotkeyManager: " line after start, without the prefix
    bool recordingHotkey = false;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

const RuleCase kRuleCases[] = {
    {"fn press and release", HotkeyMode::fnKey, {},
     {{changed(63, fn)}, {changed(63, 0)}},
     {"press", "release"}, {"fn key PRESSED", "fn key RELEASED"}},
    {"fn reported again while held does nothing", HotkeyMode::fnKey, {},
     {{changed(63, fn)}, {changed(63, fn)}, {changed(56, fn | shift)}, {changed(56, fn)}, {changed(63, 0)}},
     {"press", "release"}, {"fn key PRESSED", "fn key RELEASED"}},
    {"fn let go while Shift is held releases only with a later bare fn event", HotkeyMode::fnKey, {},
     {{changed(56, shift)}, {changed(63, shift | fn)}, {changed(63, shift)}, {changed(56, 0)}, {changed(63, fn)},
      {changed(63, 0)}},
     {"press", "release"}, {"fn key PRESSED", "fn key RELEASED"}},
    {"other keys and other modifiers never release fn", HotkeyMode::fnKey, {},
     {{changed(63, fn)}, {down(0, fn)}, {up(0, fn)}, {changed(59, fn | control)}, {changed(59, 0)}},
     {"press"}, {"fn key PRESSED"}},
    {"Esc without fn passes through", HotkeyMode::fnKey, {},
     {{down(53)}, {down(53, 0, true)}, {up(53)}},
     {}, {}},
    {"Esc while fn is held is swallowed and cancels; letting go of fn sends nothing", HotkeyMode::fnKey, {},
     {{changed(63, fn)}, {down(53, fn), false}, {up(53, fn)}, {changed(63, 0)}, {down(53)}},
     {"press", "escape"}, {"fn key PRESSED", "Esc key pressed - cancelling"}},
    {"Control+Option: pressed in turn presses, Shift added releases", HotkeyMode::customModifiers,
     combo(true, true, false, false, false),
     {{changed(59, control)}, {changed(58, control | option)}, {changed(56, control | option | shift)},
      {changed(56, control | option)}},
     {"press", "release", "press"},
     {"⌃⌥ PRESSED", "⌃⌥ RELEASED", "⌃⌥ PRESSED"}},
    {"Control+Option with Shift from the start never presses", HotkeyMode::customModifiers,
     combo(true, true, false, false, false),
     {{changed(56, shift)}, {changed(59, shift | control)}, {changed(58, shift | control | option)}},
     {}, {}},
    {"Control+Option released by letting go of Control", HotkeyMode::customModifiers,
     combo(true, true, false, false, false),
     {{changed(58, option)}, {changed(59, option | control)}, {down(0, option | control)}, {changed(59, option)}},
     {"press", "release"}, {"⌃⌥ PRESSED", "⌃⌥ RELEASED"}},
    {"fn alone as a custom combination follows the fn rule", HotkeyMode::customModifiers,
     combo(false, false, false, false, true),
     {{changed(56, shift)}, {changed(63, shift | fn)}, {changed(63, shift)}, {changed(56, 0)}, {changed(63, fn)},
      {changed(63, 0)}},
     {"press", "release"}, {"fn PRESSED", "fn RELEASED"}},
    {"Esc while a custom combination is held cancels", HotkeyMode::customModifiers,
     combo(true, true, false, false, false),
     {{changed(59, control)}, {changed(58, control | option)}, {down(53, control | option), false},
      {changed(58, control)}, {changed(59, 0)}},
     {"press", "escape"}, {"⌃⌥ PRESSED", "Esc key pressed - cancelling"}},
    {"Command+Shift+K with Option also held presses; letting go of Shift releases", HotkeyMode::customModifiers,
     combo(false, false, true, true, false, kK),
     {{changed(55, command)}, {changed(56, command | shift)}, {changed(58, command | shift | option)},
      {down(kK, command | shift | option)}, {down(kK, command | shift | option, true)},
      {changed(56, command | option)}, {up(kK, command | option)}},
     {"press", "release"}, {"⇧⌘K PRESSED", "⇧⌘K RELEASED (modifiers changed)"}},
    {"Command+Shift+K: letting go of K releases while the modifiers are held", HotkeyMode::customModifiers,
     combo(false, false, true, true, false, kK),
     {{changed(55, command)}, {changed(56, command | shift)}, {down(kK, command | shift)}, {up(kK, command | shift)},
      {changed(56, command)}},
     {"press", "release"}, {"⇧⌘K PRESSED", "⇧⌘K RELEASED"}},
    {"Command+Shift+K: K without the modifiers, and other keys, do nothing", HotkeyMode::customModifiers,
     combo(false, false, true, true, false, kK),
     {{down(kK, command)}, {up(kK, command)}, {changed(56, command | shift)}, {down(0, command | shift)},
      {up(0, command | shift)}, {up(kK, command | shift)}},
     {}, {}},
    {"fn+K needs fn and releases when fn goes", HotkeyMode::customModifiers,
     combo(false, false, false, false, true, kK),
     {{down(kK)}, {up(kK)}, {changed(63, fn)}, {down(kK, fn)}, {changed(63, 0)}, {up(kK)}},
     {"press", "release"}, {"fnK PRESSED", "fnK RELEASED (modifiers changed)"}},
    {"an empty custom combination matches nothing", HotkeyMode::customModifiers, HotkeyConfig{},
     {{changed(56, shift)}, {changed(56, 0)}, {down(0)}, {up(0)}},
     {}, {}},
    {"Super+Ctrl+V in fn mode, with its auto-repeat", HotkeyMode::fnKey, {},
     {{changed(55, command)}, {changed(59, command | control)}, {down(9, command | control), false},
      {down(9, command | control, true), false}, {up(9, command | control)}},
     {"paste", "paste"},
     {"Cmd+Ctrl+V pressed - paste transcription", "Cmd+Ctrl+V pressed - paste transcription"}},
    {"Super+Ctrl+V with Shift and while the hotkey is held", HotkeyMode::fnKey, {},
     {{changed(63, fn)}, {down(9, fn | command | control | shift), false}, {changed(63, 0)}},
     {"press", "paste", "release"},
     {"fn key PRESSED", "Cmd+Ctrl+V pressed - paste transcription", "fn key RELEASED"}},
    {"Super+Ctrl+V with a modifier combination", HotkeyMode::customModifiers, combo(true, false, true, false, false),
     {{changed(59, control)}, {changed(55, control | command)}, {down(9, control | command), false},
      {changed(55, control)}},
     {"press", "paste", "release"},
     {"⌃⌘ PRESSED", "Cmd+Ctrl+V pressed - paste transcription", "⌃⌘ RELEASED"}},
    {"Super+Ctrl+V even when V is the hotkey's key", HotkeyMode::customModifiers,
     combo(true, false, true, false, false, 9),
     {{down(9, control | command), false}, {up(9, control | command)}},
     {"paste"}, {"Cmd+Ctrl+V pressed - paste transcription"}},
    {"V with only one of the two modifiers is typed", HotkeyMode::fnKey, {},
     {{down(9, command)}, {down(9, control)}, {down(9, fn | control)}},
     {}, {}},
    {"while recording a shortcut: no hotkey, but Super+Ctrl+V still", HotkeyMode::fnKey, {},
     {{changed(63, fn)}, {changed(63, 0)}, {down(53, fn)}, {down(9, command | control), false}},
     {"paste"}, {"Cmd+Ctrl+V pressed - paste transcription"}, true},
    {"while recording a shortcut: no custom combination", HotkeyMode::customModifiers,
     combo(false, false, true, true, false, kK),
     {{down(kK, command | shift)}, {up(kK, command | shift)}},
     {}, {}, true},
};

class HotkeyRuleTest : public HotkeyManagerTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(HotkeyRuleTest, NotifiesSwallowsAndLogsAsTheRulesSay) {
    const RuleCase& c = GetParam();
    configure(c.mode, c.config);
    settings->isRecordingHotkey = c.recordingHotkey;
    ASSERT_TRUE(manager->start());
    LogCapture log;
    for (std::size_t i = 0; i < c.steps.size(); ++i)
        EXPECT_EQ(type(c.steps[i].event), c.steps[i].reachesApplication) << "step " << i;
    EXPECT_EQ(notifications(), c.notifications);
    std::vector<std::string> lines;
    for (const auto& line : log.linesStartingWith("HotkeyManager: ")) lines.push_back(line.substr(15));
    EXPECT_EQ(lines, c.logLines);
    EXPECT_EQ(keyboard.isEscapeGrabbed(), manager->isHotkeyPressed()) << "Esc is grabbed exactly while the hotkey is held";
}

INSTANTIATE_TEST_SUITE_P(Rules, HotkeyRuleTest, ::testing::ValuesIn(kRuleCases),
                         [](const ::testing::TestParamInfo<RuleCase>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

TEST_F(HotkeyManagerTest, WithoutSettingsOnlyEscAndThePasteShortcutAreRecognised) {
    manager->setSettings(nullptr);
    ASSERT_TRUE(manager->start());
    type(changed(63, fn));
    manager->setHotkeyPressed(true);
    EXPECT_TRUE(keyboard.isEscapeGrabbed());
    EXPECT_FALSE(type(down(53)));
    EXPECT_FALSE(type(down(9, command | control)));
    EXPECT_EQ(notifications(), (std::vector<std::string>{"escape", "paste"}));
}

TEST_F(HotkeyManagerTest, SettingsChangesApplyToTheNextEvent) {
    ASSERT_TRUE(manager->start());
    type(changed(63, fn));
    type(changed(63, 0));
    configure(HotkeyMode::customModifiers, combo(false, true, false, false, false));
    type(changed(63, fn));
    type(changed(58, option));
    settings->isRecordingHotkey = true;
    type(changed(58, 0));
    settings->isRecordingHotkey = false;
    type(changed(58, option));  // still held as far as the manager knows: nothing new
    type(changed(58, 0));
    EXPECT_EQ(notifications(), (std::vector<std::string>{"press", "release", "press", "release"}));
}

TEST_F(HotkeyManagerTest, NotificationsAreQueuedAndSkippedOnceDelegateOrManagerIsGone) {
    ASSERT_TRUE(manager->start());
    type(changed(63, fn));
    EXPECT_TRUE(delegate->calls.empty()) << "never called from inside the event handler";
    EXPECT_EQ(notifications(), std::vector<std::string>{"press"});

    type(changed(63, 0));
    auto released = delegate;
    manager->setDelegate(std::weak_ptr<RecordingDelegate>{});
    EXPECT_EQ(notifications(), std::vector<std::string>{"press"});

    manager->setDelegate(delegate);
    type(changed(63, fn));
    manager.reset();
    EXPECT_EQ(notifications(), std::vector<std::string>{"press"});
}

TEST_F(HotkeyManagerTest, EventsFromTheMonitorsThreadReachTheDelegateOnTheMainQueueInOrder) {
    ASSERT_TRUE(manager->start());
    std::thread monitorThread([&] {
        for (int i = 0; i < 50; ++i) {
            type(changed(63, fn));
            type(changed(63, 0));
        }
        type(down(9, command | control));
    });
    EXPECT_TRUE(queue.waitFor([&] { return delegate->calls.size() == 101; }));
    monitorThread.join();
    EXPECT_EQ(delegate->calls.front(), "press");
    EXPECT_EQ(delegate->calls[99], "release");
    EXPECT_EQ(delegate->calls.back(), "paste");
}

TEST_F(HotkeyManagerTest, SetHotkeyPressedMovesTheEscGrabWithoutNotifying) {
    ASSERT_TRUE(manager->start());
    manager->setHotkeyPressed(true);
    EXPECT_TRUE(keyboard.isEscapeGrabbed());
    manager->setHotkeyPressed(false);
    EXPECT_FALSE(keyboard.isEscapeGrabbed());
    EXPECT_TRUE(type(down(53)));
    EXPECT_TRUE(notifications().empty());
}

TEST_F(HotkeyManagerTest, StartWithoutTrustPromptsOnlyTheFirstTime) {
    permissions.trusted = false;
    LogCapture log;
    EXPECT_FALSE(manager->start());
    EXPECT_FALSE(manager->start());
    EXPECT_EQ(permissions.prompts, 1);
    EXPECT_EQ(keyboard.startCount(), 0);
    EXPECT_EQ(log.linesStartingWith("HotkeyManager: "),
              (std::vector<std::string>{"HotkeyManager: Accessibility permission not granted",
                                        "HotkeyManager: Opening Accessibility settings - please enable Quonvera",
                                        "HotkeyManager: Accessibility permission not granted"}));
    permissions.trusted = true;
    EXPECT_TRUE(manager->start());
    EXPECT_EQ(permissions.prompts, 1);
}

TEST_F(HotkeyManagerTest, StartFailsWhenTheKeyboardCannotBeWatched) {
    keyboard.startSucceeds = false;
    LogCapture log;
    EXPECT_FALSE(manager->start());
    EXPECT_TRUE(log.contains("HotkeyManager: Failed to create event tap"));
    EXPECT_FALSE(log.contains("HotkeyManager: Started successfully"));
    keyboard.startSucceeds = true;
    EXPECT_TRUE(manager->start());
    EXPECT_TRUE(log.contains("HotkeyManager: Started successfully"));
}

TEST_F(HotkeyManagerTest, StopClearsThePressedStateSilentlyAndDestructionStops) {
    LogCapture log;
    ASSERT_TRUE(manager->start());
    type(changed(63, fn));
    manager->stop();
    EXPECT_FALSE(manager->isHotkeyPressed());
    EXPECT_FALSE(keyboard.isRunning());
    EXPECT_FALSE(keyboard.isEscapeGrabbed());
    EXPECT_EQ(notifications(), std::vector<std::string>{"press"});
    EXPECT_TRUE(type(changed(63, 0)));
    EXPECT_EQ(notifications(), std::vector<std::string>{"press"});

    ASSERT_TRUE(manager->start());
    log.clear();
    manager.reset();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"HotkeyManager: Stopped"});
    EXPECT_FALSE(keyboard.isRunning());
}

}  // namespace
}  // namespace quonvera
