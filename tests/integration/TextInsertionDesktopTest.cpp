// Text insertion into real X clients under the test servers (scripts/with-test-servers.sh): a
// GTK 3 text entry, xfce4-terminal, with openbox managing the windows and the AT-SPI
// accessibility bus started by the suite.
#include "services/TextInsertionService.h"

#include "support/SpawnedProcess.h"
#include "support/TemporaryFolder.h"
#include "core/Log.h"
#include "platform/fake/FakeFocusedText.h"
#include "platform/fake/FakeKeystrokeSender.h"
#include "platform/linux/AtspiFocusedText.h"
#include "platform/linux/DBusUserNotifications.h"
#include "platform/linux/QtClipboard.h"
#include "platform/linux/X11ActiveWindow.h"
#include "platform/linux/XTestKeystrokeSender.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

namespace quonvera {
namespace {

using namespace std::chrono_literals;
using test::SpawnedProcess;
using test::TemporaryFolder;

const std::filesystem::path supportFolder = std::filesystem::path(__FILE__).parent_path().parent_path() / "support";
constexpr auto clientTimeout = 15s;
const char* const systemPython = "/usr/bin/python3";  // the one with the GTK bindings

// Runs the Qt event loop (this process serves the clipboard it owns) until `done` or the timeout.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = clientTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Runs a short command to its end, serving the clipboard meanwhile; its standard output.
std::string runToEnd(std::vector<std::string> command, const std::filesystem::path& output) {
    SpawnedProcess process(std::move(command), {.standardOutput = output});
    if (!waitUntil([&] { return !process.isRunning(); }, 10s)) {
        ADD_FAILURE() << "command did not finish";
    }
    return readFile(output);
}

bool windowManagerIsRunning(const std::filesystem::path& scratch) {
    return runToEnd({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, scratch).find("window id") != std::string::npos;
}

struct FieldState {
    std::string text;
    int cursor = 0;
    int selectionStart = 0;
    int selectionEnd = 0;
    bool focused = false;
};

// A GTK 3 window with one text entry, started by a test and ended with it.
class GtkTextField {
public:
    GtkTextField(const TemporaryFolder& folder, const std::string& text, std::pair<int, int> selection,
                 bool accessible, bool password)
        : stateFile_(folder / "field.json"),
          process_(arguments(text, selection, password),
                   {.environment = accessible ? std::map<std::string, std::string>{}
                                              : std::map<std::string, std::string>{{"NO_AT_BRIDGE", "1"}}}) {}

    std::optional<FieldState> state() const {
        try {
            const auto json = nlohmann::json::parse(readFile(stateFile_));
            return FieldState{json.at("text"), json.at("cursor"), json.at("selection").at(0),
                              json.at("selection").at(1), json.at("focused")};
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    std::string text() const {
        const auto current = state();
        return current ? current->text : "<no state>";
    }
    bool waitForText(const std::string& expected) const {
        return waitUntil([&] { return text() == expected; });
    }
    bool waitUntilFocusedWith(std::pair<int, int> selection) {
        return waitUntil([&] {
            const auto current = state();
            return current && current->focused && current->selectionStart == selection.first &&
                   current->selectionEnd == selection.second;
        });
    }
    bool isRunning() { return process_.isRunning(); }

private:
    std::vector<std::string> arguments(const std::string& text, std::pair<int, int> selection, bool password) const {
        std::vector<std::string> result{systemPython, (supportFolder / "gtk_text_field.py").string(),
                                        stateFile_.string(), "--text", text, "--select",
                                        std::to_string(selection.first), std::to_string(selection.second)};
        if (password) {
            result.push_back("--password");
        }
        return result;
    }

    std::filesystem::path stateFile_;
    SpawnedProcess process_;
};

// Sets the keyboard layout for one test and puts US back afterwards.
class KeyboardLayout {
public:
    KeyboardLayout(const std::string& layout, const std::string& variant) { set(layout, variant); }
    ~KeyboardLayout() { set("us", ""); }

private:
    static void set(const std::string& layout, const std::string& variant) {
        std::vector<std::string> command{"setxkbmap", "-layout", layout};
        if (!variant.empty()) {
            command.insert(command.end(), {"-variant", variant});
        }
        SpawnedProcess process(command);
        waitUntil([&] { return !process.isRunning(); }, 10s);
        if (process.exitCode() != 0) {
            ADD_FAILURE() << "setxkbmap could not set " << layout << " " << variant;
        }
    }
};

class TextInsertionDesktopTest : public testing::Test {
protected:
    // Shared by the suite: the window manager and the accessibility bus, whose connection in this
    // process lives as long as the process.
    static void SetUpTestSuite() {
        suiteError_.clear();
        if (!std::getenv("DISPLAY") || !std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
            suiteError_ = "no X display or session bus: run the tests under scripts/with-test-servers.sh";
            return;
        }
        try {
            if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
                static int argc = 1;
                static char name[] = "test_integration";
                static char* argv[] = {name, nullptr};
                static QGuiApplication application(argc, argv);
            }
            suiteFolder_ = std::make_unique<TemporaryFolder>();
            windowManager_ = std::make_unique<SpawnedProcess>(std::vector<std::string>{"openbox", "--sm-disable"});
            if (!waitUntil([] { return windowManagerIsRunning(suiteFolder_->path() / "xprop.txt"); })) {
                suiteError_ = "openbox did not start";
                return;
            }
            accessibilityBus_ = std::make_unique<SpawnedProcess>(
                std::vector<std::string>{"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"});
            if (!waitUntil([] {
                    return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.a11y.Bus").value();
                })) {
                suiteError_ = "the AT-SPI accessibility bus (at-spi-bus-launcher) did not start";
                return;
            }
            focusedText_ = std::make_unique<AtspiFocusedText>();
        } catch (const std::exception& error) {
            suiteError_ = error.what();
        }
    }

    static void TearDownTestSuite() {
        accessibilityBus_.reset();
        windowManager_.reset();
        focusedText_.reset();
        suiteFolder_.reset();
    }

    void SetUp() override { ASSERT_TRUE(suiteError_.empty()) << suiteError_; }

    struct Parts {
        X11ActiveWindow activeWindow;
        XTestKeystrokeSender keystrokes;
        QtClipboard clipboard;
        DBusUserNotifications notifications;
    };

    TextInsertionService realService() {
        return TextInsertionService({parts_.activeWindow, *focusedText_, parts_.keystrokes, parts_.clipboard,
                                     parts_.notifications});
    }

    std::unique_ptr<GtkTextField> startField(const std::string& text, std::pair<int, int> selection,
                                             bool accessible, bool password = false) {
        auto field = std::make_unique<GtkTextField>(folder_, text, selection, accessible, password);
        if (!field->waitUntilFocusedWith(selection)) {
            ADD_FAILURE() << "the GTK text field did not come up focused (it needs python3-gi and gir1.2-gtk-3.0)";
            return nullptr;
        }
        if (accessible && !waitUntil([&] {
                auto element = focusedText_->focusedElement();
                return element && (password || element->value() == text);
            })) {
            ADD_FAILURE() << "the GTK text field did not appear on the accessibility bus";
            return nullptr;
        }
        return field;
    }

    // What another X client gets when it pastes the clipboard now.
    std::string clipboardAsOthersSeeIt() {
        return runToEnd({"xclip", "-selection", "clipboard", "-o"}, folder_ / "clipboard-read.txt");
    }

    // Gives the clipboard to another X client holding `text`, which keeps it until the test ends.
    void giveClipboardToAnotherClient(const std::string& text) {
        writeFile(folder_ / "clipboard-source.txt", text);
        clipboardOwner_ = std::make_unique<SpawnedProcess>(std::vector<std::string>{
            "xclip", "-selection", "clipboard", "-quiet", "-i", (folder_ / "clipboard-source.txt").string()});
        ASSERT_TRUE(waitUntil([&] { return clipboardAsOthersSeeIt() == text; }));
    }

    static inline std::string suiteError_;
    static inline std::unique_ptr<TemporaryFolder> suiteFolder_;
    static inline std::unique_ptr<SpawnedProcess> windowManager_;
    static inline std::unique_ptr<SpawnedProcess> accessibilityBus_;
    static inline std::unique_ptr<AtspiFocusedText> focusedText_;

    TemporaryFolder folder_;
    LogCapture log_;
    Parts parts_;
    std::unique_ptr<SpawnedProcess> clipboardOwner_;
};

TEST_F(TextInsertionDesktopTest, AccessibilityReplacesTheSelectionAndLeavesTheClipboardAlone) {
    giveClipboardToAnotherClient("earlier clipboard");
    auto field = startField("Hello world!", {6, 11}, true);
    ASSERT_TRUE(field);
    auto service = realService();

    EXPECT_EQ(service.insertText("there"), InsertionResult::accessibility);

    ASSERT_TRUE(field->waitForText("Hello there!")) << field->text();
    EXPECT_TRUE(waitUntil([&] {
        const auto state = field->state();
        return state && state->cursor == 11 && state->selectionStart == 11 && state->selectionEnd == 11;
    })) << "the caret did not end after the text with nothing selected";
    EXPECT_TRUE(log_.contains("TextInsertionService: Inserted via Accessibility API (clipboard preserved)"));
    EXPECT_EQ(clipboardAsOthersSeeIt(), "earlier clipboard");
}

// A password field shows its value as bullets; writing it back would replace the password.
TEST_F(TextInsertionDesktopTest, PasswordFieldIsNeverRewrittenAndGetsThePaste) {
    auto field = startField("hunter2", {7, 7}, true, true);
    ASSERT_TRUE(field);
    auto service = realService();

    EXPECT_EQ(service.insertText("secret"), InsertionResult::clipboardPaste);
    EXPECT_TRUE(field->waitForText("hunter2secret")) << field->text();
}

// The paste route into a field that is not on the accessibility bus, in several keyboard layouts:
// the V and BackSpace keys are where each layout puts them.
struct LayoutCase {
    std::string name;
    std::string layout;
    std::string variant;
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

class TextInsertionPasteTest : public TextInsertionDesktopTest, public testing::WithParamInterface<LayoutCase> {};

TEST_P(TextInsertionPasteTest, PastesLeavesTheTextOnTheClipboardAndUndoes) {
    KeyboardLayout layout(GetParam().layout, GetParam().variant);
    auto field = startField("Hello ", {6, 6}, false);
    ASSERT_TRUE(field);
    auto service = realService();

    service.startStreamingSession();
    EXPECT_EQ(service.insertStreamingText("wo\u0308rld \u2713"), InsertionResult::clipboardPaste);
    ASSERT_TRUE(field->waitForText("Hello wo\u0308rld \u2713")) << field->text();
    EXPECT_EQ(clipboardAsOthersSeeIt(), "wo\u0308rld \u2713");
    EXPECT_TRUE(log_.contains("TextInsertionService: Could not get focused element"));
    EXPECT_TRUE(log_.contains("TextInsertionService: Inserted via Cmd+V simulation"));

    service.undoStreamingInsertion();
    EXPECT_TRUE(field->waitForText("Hello ")) << field->text();
}

INSTANTIATE_TEST_SUITE_P(Layouts, TextInsertionPasteTest,
                         testing::Values(LayoutCase{"UsQwerty", "us", ""}, LayoutCase{"UsDvorak", "us", "dvorak"},
                                         LayoutCase{"FrenchAzerty", "fr", ""}, LayoutCase{"GermanQwertz", "de", ""}),
                         [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

TEST_F(TextInsertionDesktopTest, TerminalGetsThePasteRouteWithControlShiftV) {
    const auto typed = folder_ / "typed.bin";
    SpawnedProcess terminal({"xfce4-terminal", "--disable-server", "--hide-menubar", "-x", systemPython,
                             (supportFolder / "record_tty_input.py").string(), typed.string()});
    ASSERT_TRUE(waitUntil([&] {
        return std::filesystem::exists(typed) && parts_.activeWindow.applicationClass() == "Xfce4-terminal";
    })) << "xfce4-terminal did not come up in front; its class: "
        << parts_.activeWindow.applicationClass().value_or("<none>");
    auto service = realService();

    EXPECT_EQ(service.insertText("echo h\u00E9 \u2713"), InsertionResult::clipboardPaste);

    // Control+V alone would have sent the byte 0x16 to the program in the terminal.
    EXPECT_TRUE(waitUntil([&] { return readFile(typed) == "echo h\u00E9 \u2713"; })) << readFile(typed);
    EXPECT_TRUE(log_.contains("TextInsertionService: Terminal detected, using clipboard + paste"));
    EXPECT_EQ(clipboardAsOthersSeeIt(), "echo h\u00E9 \u2713");
}

// When no paste keystroke can be made, the text stays on the clipboard and the desktop's
// notification server is told.
struct NotificationCase {
    std::string name;
    bool serverReadsMarkup;
    std::string expectedBody;
};

void PrintTo(const NotificationCase& c, std::ostream* out) { *out << c.name; }

class TextInsertionNotificationTest : public TextInsertionDesktopTest,
                                      public testing::WithParamInterface<NotificationCase> {};

TEST_P(TextInsertionNotificationTest, ClipboardOnlyNotifiesOnTheSessionBus) {
    const auto record = folder_ / "notifications.jsonl";
    std::vector<std::string> command{systemPython, (supportFolder / "notification_server.py").string(), record.string()};
    if (GetParam().serverReadsMarkup) {
        command.push_back("--markup");
    }
    SpawnedProcess server(command, {.standardOutput = folder_ / "server.out"});
    ASSERT_TRUE(waitUntil([&] { return readFile(folder_ / "server.out") == "ready\n"; }))
        << "the notification server stand-in did not start";
    FakeFocusedText noAccessibility;
    noAccessibility.available = false;
    FakeKeystrokeSender noKeys;
    noKeys.canCreateEvents = false;
    TextInsertionService service(
        {parts_.activeWindow, noAccessibility, noKeys, parts_.clipboard, parts_.notifications});

    EXPECT_EQ(service.insertText("a < b & \"c\""), InsertionResult::clipboardOnly);

    ASSERT_TRUE(waitUntil([&] { return !readFile(record).empty(); })) << "no notification reached the bus";
    const auto notification = nlohmann::json::parse(readFile(record));
    EXPECT_EQ(notification.at("app_name"), "Quonvera");
    EXPECT_EQ(notification.at("summary"), "Copied to Clipboard");
    EXPECT_EQ(notification.at("body"), GetParam().expectedBody);
    EXPECT_EQ(notification.at("hints").at("suppress-sound"), true);
    EXPECT_EQ(clipboardAsOthersSeeIt(), "a < b & \"c\"");
    EXPECT_TRUE(log_.contains("TextInsertionService: All insertion methods failed, text is in clipboard"));
}

INSTANTIATE_TEST_SUITE_P(Servers, TextInsertionNotificationTest,
                         testing::Values(NotificationCase{"PlainBody", false, "a < b & \"c\""},
                                         NotificationCase{"MarkupBody", true, "a &lt; b &amp; &quot;c&quot;"}),
                         [](const testing::TestParamInfo<NotificationCase>& info) { return info.param.name; });

TEST_F(TextInsertionDesktopTest, NotificationWithoutAServerIsOnlyLogged) {
    FakeFocusedText noAccessibility;
    noAccessibility.available = false;
    FakeKeystrokeSender noKeys;
    noKeys.canCreateEvents = false;
    TextInsertionService service(
        {parts_.activeWindow, noAccessibility, noKeys, parts_.clipboard, parts_.notifications});

    EXPECT_EQ(service.insertText("lost?"), InsertionResult::clipboardOnly);
    EXPECT_TRUE(waitUntil([&] {
        return !log_.linesStartingWith("TextInsertionService: Failed to show notification: ").empty();
    }));
    EXPECT_EQ(clipboardAsOthersSeeIt(), "lost?");
}

TEST_F(TextInsertionDesktopTest, RevisionAndUndoRemoveExactlyTheCountedCharacters) {
    auto field = startField("Start: ", {7, 7}, true);
    ASSERT_TRUE(field);
    auto service = realService();

    service.startStreamingSession();
    EXPECT_EQ(service.insertStreamingText("Cafe\u0301 "), InsertionResult::accessibility);
    EXPECT_EQ(service.insertStreamingText("\U0001F44D\U0001F3FD"), InsertionResult::accessibility);
    ASSERT_TRUE(field->waitForText("Start: Cafe\u0301 \U0001F44D\U0001F3FD")) << field->text();
    EXPECT_EQ(service.streamingInsertedCount(), 6);

    EXPECT_EQ(service.handleRevision(service.streamingInsertedCount(), "No\u00EBl \U0001F468\u200D\U0001F469\u200D\U0001F467"),
              InsertionResult::accessibility);
    ASSERT_TRUE(field->waitForText("Start: No\u00EBl \U0001F468\u200D\U0001F469\u200D\U0001F467")) << field->text();
    EXPECT_EQ(service.streamingInsertedCount(), 6);

    service.undoStreamingInsertion();
    EXPECT_TRUE(field->waitForText("Start: ")) << field->text();
}

// Without a window manager nobody sets _NET_ACTIVE_WINDOW; the X input focus tells the window.
TEST(ActiveWindowWithoutWindowManagerTest, FallsBackToTheInputFocus) {
    ASSERT_TRUE(std::getenv("DISPLAY")) << "no X display: run the tests under scripts/with-test-servers.sh";
    TemporaryFolder folder;
    // What a window manager that ran before may have left.
    runToEnd({"xprop", "-root", "-remove", "_NET_ACTIVE_WINDOW"}, folder / "xprop.txt");
    X11ActiveWindow activeWindow;
    SpawnedProcess field({systemPython, (supportFolder / "gtk_text_field.py").string(), (folder / "state.json").string()},
                         {.environment = {{"NO_AT_BRIDGE", "1"}}});
    runToEnd({"xdotool", "search", "--sync", "--name", "Quonvera test field", "windowfocus", "--sync"},
             folder / "xdotool.txt");

    EXPECT_TRUE(waitUntil([&] { return activeWindow.applicationClass() == "Gtk_text_field.py"; }))
        << activeWindow.applicationClass().value_or("<none>");
}

}  // namespace
}  // namespace quonvera
