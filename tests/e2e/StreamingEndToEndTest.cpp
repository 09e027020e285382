// Streaming dictation end to end: the application, built around a scripted recognizer, types live
// words into a real GTK text field while the key standing in for fn is held through XTEST,
// completes them with the final transcript on release, and removes them on Esc. Runs under
// scripts/with-test-servers.sh, with openbox managing the windows and the AT-SPI accessibility bus
// started once for the program.

#include "support/ChildProcess.h"
#include "support/SpawnedProcess.h"
#include "support/TemporaryFolder.h"
#include "platform/linux/AtspiFocusedText.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

// Last: Xlib's macros (None, Bool, True, ...) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace quonvera {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::SpawnedProcess;
using test::TemporaryFolder;

const std::filesystem::path supportFolder = std::filesystem::path(__FILE__).parent_path().parent_path() / "support";
const char* const systemPython = "/usr/bin/python3";  // the one with the GTK bindings
// Generous: the machine may be loaded, and the sanitizer build is several times slower.
constexpr auto startTimeout = 60s;
constexpr auto stepTimeout = 30s;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text, std::ios::openmode mode = std::ios::trunc) {
    std::ofstream(path, std::ios::binary | std::ios::out | mode) << text;
}

// Runs the Qt event loop and `alsoEachTime` until `done` or the timeout.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<void()>& alsoEachTime = {}) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (alsoEachTime) alsoEachTime();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool windowManagerIsRunning(const std::filesystem::path& scratch) {
    SpawnedProcess xprop({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, {.standardOutput = scratch});
    waitUntil([&] { return !xprop.isRunning(); }, 10s);
    return readFile(scratch).find("window id") != std::string::npos;
}

// A key held down through XTEST, as a finger on the keyboard would; let go when the test ends
// however it ends, so that no key stays down on the shared X server.
class HeldKey {
public:
    explicit HeldKey(KeySym symbol) : display_(XOpenDisplay(nullptr)) {
        if (!display_) throw std::runtime_error("cannot open the X display");
        keycode_ = XKeysymToKeycode(display_, symbol);
        send(True);
    }
    ~HeldKey() {
        release();
        XCloseDisplay(display_);
    }
    HeldKey(const HeldKey&) = delete;
    HeldKey& operator=(const HeldKey&) = delete;

    void release() {
        if (held_) send(False);
    }
    // Presses and releases another key while this one is held.
    void tap(KeySym symbol) {
        const KeyCode other = XKeysymToKeycode(display_, symbol);
        XTestFakeKeyEvent(display_, other, True, CurrentTime);
        XTestFakeKeyEvent(display_, other, False, CurrentTime);
        XSync(display_, False);
    }

private:
    void send(Bool press) {
        XTestFakeKeyEvent(display_, keycode_, press, CurrentTime);
        XSync(display_, False);
        held_ = press;
    }

    Display* display_;
    KeyCode keycode_ = 0;
    bool held_ = false;
};

// A GTK 3 window with one text entry holding `text`, the caret at its end; its state is read back
// from the file the helper keeps up to date.
class GtkTextField {
public:
    GtkTextField(const TemporaryFolder& folder, const std::string& text)
        : stateFile_(folder / "field.json"),
          process_({systemPython, (supportFolder / "gtk_text_field.py").string(), stateFile_.string(), "--text", text}) {}

    std::string text() const {
        try {
            return nlohmann::json::parse(readFile(stateFile_)).at("text");
        } catch (const std::exception&) {
            return "<no state>";
        }
    }
    bool isFocused() const {
        try {
            return nlohmann::json::parse(readFile(stateFile_)).at("focused");
        } catch (const std::exception&) {
            return false;
        }
    }

private:
    std::filesystem::path stateFile_;
    SpawnedProcess process_;
};

// Which key stands in for fn, and the text already in the field before the caret.
struct HotkeyCase {
    std::string name;
    std::string fnKeyName;  // QUONVERA_FN_KEY; empty: the default, Right Ctrl
    KeySym fnKey;
    std::string before;
};

void PrintTo(const HotkeyCase& c, std::ostream* out) { *out << c.name; }

class StreamingEndToEndTest : public testing::TestWithParam<HotkeyCase> {
protected:
    // The window manager and the accessibility bus are started once and kept until the program
    // ends: this process's accessibility connection stays bound to the first bus.
    static void SetUpTestSuite() {
        if (focusedText_) return;
        suiteError_.clear();
        if (!std::getenv("DISPLAY") || !std::getenv("DBUS_SESSION_BUS_ADDRESS") || !std::getenv("PULSE_RUNTIME_PATH")) {
            suiteError_ = "no X display, session bus or sound server: run the tests under scripts/with-test-servers.sh";
            return;
        }
        try {
            if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
                static int argc = 1;
                static char name[] = "test_e2e";
                static char* argv[] = {name, nullptr};
                static QGuiApplication application(argc, argv);
            }
            suiteFolder_ = std::make_unique<TemporaryFolder>();
            windowManager_ = std::make_unique<SpawnedProcess>(std::vector<std::string>{"openbox", "--sm-disable"});
            if (!waitUntil([] { return windowManagerIsRunning(suiteFolder_->path() / "xprop.txt"); }, stepTimeout)) {
                suiteError_ = "openbox did not start";
                return;
            }
            accessibilityBus_ = std::make_unique<SpawnedProcess>(
                std::vector<std::string>{"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"});
            if (!waitUntil(
                    [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.a11y.Bus").value(); },
                    stepTimeout)) {
                suiteError_ = "the AT-SPI accessibility bus (at-spi-bus-launcher) did not start";
                return;
            }
            focusedText_ = std::make_unique<AtspiFocusedText>();
        } catch (const std::exception& error) {
            suiteError_ = error.what();
        }
    }

    void SetUp() override {
        ASSERT_TRUE(suiteError_.empty()) << suiteError_;
        // Streaming on, AI enhancement off, the fn stand-in as the hotkey.
        std::filesystem::create_directories(home_ / "config" / "quonvera");
        const nlohmann::json settings = {{"language", "en"},         {"launchAtLogin", false},
                                         {"whisperModel", "tiny"},   {"hotkeyMode", "fn"},
                                         {"aiAutoFormat", false},    {"aiSmartCorrections", false},
                                         {"streamingTranscription", true}, {"hasCompletedOnboarding", true},
                                         {"hasCompletedFirstLaunch", true}};
        writeFile(home_ / "config" / "quonvera" / "defaults.json",
                  nlohmann::json{{"com.quonvera.settings", settings.dump()}}.dump());
        std::filesystem::create_directories(home_ / "runtime");
        std::filesystem::permissions(home_ / "runtime", std::filesystem::perms::owner_all);
        writeFile(partials_, "");
        writeFile(final_, "");

        field_ = std::make_unique<GtkTextField>(home_, before_);
        ASSERT_TRUE(waitUntil([&] { return field_->isFocused(); }, stepTimeout))
            << "the GTK text field did not come up focused (it needs python3-gi and gir1.2-gtk-3.0)";
        ASSERT_TRUE(waitUntil(
            [&] {
                auto element = focusedText_->focusedElement();
                return element && element->value() == before_;
            },
            stepTimeout))
            << "the GTK text field did not appear on the accessibility bus";

        app_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{QUONVERA_SCRIPTED_RECOGNIZER_BINARY},
            std::map<std::string, std::string>{{"XDG_CONFIG_HOME", (home_ / "config").string()},
                                               {"XDG_DATA_HOME", (home_ / "data").string()},
                                               {"XDG_CACHE_HOME", (home_ / "cache").string()},
                                               {"XDG_RUNTIME_DIR", (home_ / "runtime").string()},
                                               {"QUONVERA_SERVICE_URL", "http://127.0.0.1:9"},
                                               {"QUONVERA_SCRIPTED_PARTIALS", partials_.string()},
                                               {"QUONVERA_SCRIPTED_FINAL", final_.string()},
                                               {"QUONVERA_FN_KEY", GetParam().fnKeyName}});
        ASSERT_TRUE(app_->waitForOutput("TranscriptionEngine: Model initialized in", startTimeout)) << app_->output();
        ASSERT_TRUE(app_->waitForOutput("AppCoordinator: Hotkey manager started successfully", startTimeout))
            << app_->output();
    }

    void TearDown() override {
        if (app_) stopApplication();
    }

    void stopApplication() {
        app_->sendSignal(SIGTERM);
        EXPECT_EQ(app_->waitForExit(stepTimeout), 0) << app_->output();
        if (HasFailure()) std::cout << "The application's log:\n" << app_->output();
    }

    // The next streaming pass answers with `text`.
    void scriptNextPartial(const std::string& text) { writeFile(partials_, text + "\n", std::ios::app); }

    bool waitForLog(const std::string& line) { return app_->waitForOutput(line, stepTimeout); }

    // Reads the application's output meanwhile, so that its pipe never fills.
    bool waitForField(const std::string& text) {
        return waitUntil([&] { return field_->text() == text; }, stepTimeout, [&] { app_->output(); });
    }

    // Plays speech into the virtual microphone while the key is held (the recorder hears the
    // sound server's silence otherwise).
    void speak() {
        const auto speech = home_ / "speech.wav";
        SpawnedProcess synthesis({"espeak-ng", "-w", speech.string(), "Hello, world"});
        ASSERT_TRUE(waitUntil([&] { return !synthesis.isRunning(); }, stepTimeout));
        ASSERT_EQ(synthesis.exitCode(), 0) << "espeak-ng could not make the speech";
        player_ = std::make_unique<SpawnedProcess>(
            std::vector<std::string>{"paplay", "-d", "quonvera_speaker", speech.string()});
    }

    std::vector<std::string> historyTexts() {
        const auto file = home_ / "data" / "Quonvera" / "transcript_history.json";
        if (!std::filesystem::exists(file)) return {};
        std::vector<std::string> texts;
        for (const auto& item : nlohmann::json::parse(readFile(file))) texts.push_back(item.at("text"));
        return texts;
    }

    std::vector<std::string> recordingsLeft() {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(home_ / "runtime"))
            if (entry.path().extension() == ".wav") files.push_back(entry.path().string());
        return files;
    }

    bool hotkeyReleaseSeen() { return app_->output().find("AppCoordinator: hotkey released") != std::string::npos; }

    static inline std::string suiteError_;
    static inline std::unique_ptr<TemporaryFolder> suiteFolder_;
    static inline std::unique_ptr<SpawnedProcess> windowManager_;
    static inline std::unique_ptr<SpawnedProcess> accessibilityBus_;
    static inline std::unique_ptr<AtspiFocusedText> focusedText_;

    const std::string before_ = GetParam().before;
    TemporaryFolder home_;
    std::filesystem::path partials_ = home_ / "partials.txt";
    std::filesystem::path final_ = home_ / "final.txt";
    std::unique_ptr<GtkTextField> field_;
    std::unique_ptr<ChildProcess> app_;
    std::unique_ptr<SpawnedProcess> player_;
};

// Holds the hotkey and waits until the live words "Hello world" are in the field.
#define SPEAK_HELLO_WORLD_WHILE_HOLDING()                                                                \
    ASSERT_TRUE(waitForLog("AppCoordinator: Starting streaming transcription")) << app_->output();        \
    speak();                                                                                              \
    ASSERT_TRUE(waitForLog("AppCoordinator: Streaming partial update - delta: 'Hello'")) << app_->output(); \
    ASSERT_TRUE(waitForField(before_ + "Hello")) << field_->text();                                       \
    scriptNextPartial("Hello world");                                                                     \
    ASSERT_TRUE(waitForLog("AppCoordinator: Streaming partial update - delta: ' world'")) << app_->output(); \
    ASSERT_TRUE(waitForField(before_ + "Hello world")) << field_->text()

TEST_P(StreamingEndToEndTest, LiveWordsAppearWhileHeldAndTheFinalTextCompletesThem) {
    writeFile(final_, "Hello world.\n");
    scriptNextPartial("Hello");
    {
        HeldKey hotkey(GetParam().fnKey);
        SPEAK_HELLO_WORLD_WHILE_HOLDING();
        EXPECT_FALSE(hotkeyReleaseSeen()) << "the live text must appear while the hotkey is held";
    }

    ASSERT_TRUE(waitForLog("AppCoordinator: Final text: 'Hello world.'")) << app_->output();
    ASSERT_TRUE(waitForLog("AppCoordinator: Appending remainder: '.'")) << app_->output();
    EXPECT_TRUE(waitForField(before_ + "Hello world.")) << field_->text();
    ASSERT_TRUE(waitForLog("TextInsertionService: Committed streaming session")) << app_->output();

    stopApplication();
    EXPECT_EQ(field_->text(), before_ + "Hello world.");
    EXPECT_EQ(historyTexts(), std::vector<std::string>{"Hello world."});
    EXPECT_EQ(recordingsLeft(), std::vector<std::string>{});
    app_.reset();
}

// In an accessible field the revision edits the text itself: Backspace presses could be handled
// after the write of the revised text and delete part of it ("Note: HelHello, wor" was seen).
TEST_P(StreamingEndToEndTest, ARevisionCorrectsTheLiveWordsAndTheFinalTextReconciles) {
    writeFile(final_, "Hello, world.\n");
    scriptNextPartial("Hello");
    {
        HeldKey hotkey(GetParam().fnKey);
        SPEAK_HELLO_WORLD_WHILE_HOLDING();

        // The revision deletes exactly the live text, not the words that were there before.
        scriptNextPartial("Hello, world");
        ASSERT_TRUE(waitForLog("AppCoordinator: Streaming revision - 'Hello world' -> 'Hello, world'"))
            << app_->output();
        ASSERT_TRUE(waitForField(before_ + "Hello, world")) << field_->text();
        EXPECT_FALSE(hotkeyReleaseSeen()) << "the revision must come while the hotkey is held";
    }

    ASSERT_TRUE(waitForLog("AppCoordinator: Appending remainder: '.'")) << app_->output();
    EXPECT_TRUE(waitForField(before_ + "Hello, world.")) << field_->text();
    ASSERT_TRUE(waitForLog("TextInsertionService: Committed streaming session")) << app_->output();

    stopApplication();
    EXPECT_EQ(field_->text(), before_ + "Hello, world.");
    EXPECT_EQ(historyTexts(), std::vector<std::string>{"Hello, world."});
    app_.reset();
}

TEST_P(StreamingEndToEndTest, EscWhileHoldingRemovesTheLiveTextAndKeepsNothing) {
    writeFile(final_, "Never delivered.\n");
    scriptNextPartial("Hello");
    {
        HeldKey hotkey(GetParam().fnKey);
        SPEAK_HELLO_WORLD_WHILE_HOLDING();

        hotkey.tap(XK_Escape);
        ASSERT_TRUE(waitForLog("AppCoordinator: Streaming session cancelled - undoing inserted text")) << app_->output();
        EXPECT_TRUE(waitForField(before_)) << field_->text();
    }
    // The cancel ended the hotkey's press: letting the key go later starts and ends nothing.
    ASSERT_TRUE(waitForLog("TranscriptionEngine: Ended streaming session")) << app_->output();

    stopApplication();
    EXPECT_EQ(field_->text(), before_);
    EXPECT_EQ(app_->output().find("AppCoordinator: Final text:"), std::string::npos) << app_->output();
    EXPECT_EQ(historyTexts(), std::vector<std::string>{});
    EXPECT_EQ(recordingsLeft(), std::vector<std::string>{});
    app_.reset();
}

INSTANTIATE_TEST_SUITE_P(Hotkeys, StreamingEndToEndTest,
                         testing::Values(HotkeyCase{"PauseStandsInForFn", "Pause", XK_Pause, "Note: "}),
                         [](const testing::TestParamInfo<HotkeyCase>& info) { return info.param.name; });

// Right Ctrl, the default fn stand-in, is held while live text is revised or removed: synthetic
// Backspace presses would arrive as Ctrl+BackSpace and delete whole words, including the
// "Note: " that was there before.
INSTANTIATE_TEST_SUITE_P(HeldModifier, StreamingEndToEndTest,
                         testing::Values(HotkeyCase{"RightCtrl", "", XK_Control_R, "Note: "}),
                         [](const testing::TestParamInfo<HotkeyCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quonvera
