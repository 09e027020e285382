#include "services/TextInsertionService.h"

#include "core/Log.h"
#include "platform/fake/FakeActiveWindow.h"
#include "platform/fake/FakeFocusedText.h"
#include "platform/fake/FakeKeystrokeSender.h"
#include "platform/fake/FakeUserNotifications.h"
#include "platform/fake/InMemoryClipboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quonvera {
namespace {

using namespace std::chrono_literals;
using Keys = std::vector<std::string>;
using Lines = std::vector<std::string>;

// What happened at one of the service's waits.
struct WaitSeen {
    std::chrono::milliseconds duration;
    Keys keysSentBefore;
    std::optional<std::string> clipboardThen;
    bool operator==(const WaitSeen&) const = default;
};

class TextInsertionServiceTest : public testing::Test {
protected:
    TextInsertionServiceTest() {
        field.value = "";
        field.selection = TextRange{0, 0};
    }

    Lines insertionLog() const { return log.linesStartingWith("TextInsertionService:"); }

    FakeActiveWindow window;
    FakeFocusedText field;
    FakeKeystrokeSender keys;
    InMemoryClipboard clipboard;
    FakeUserNotifications notifications;
    std::vector<WaitSeen> waits;
    LogCapture log;
    TextInsertionService service{{window, field, keys, clipboard, notifications},
                                 [this](std::chrono::milliseconds d) { waits.push_back({d, keys.sent, clipboard.contents}); }};
};

// --- Choosing the route -------------------------------------------------------------------------

struct RouteCase {
    std::string name;
    std::optional<std::string> activeClass;
    bool accessibilityAvailable = true;
    bool hasFocusedElement = true;
    bool valueReadable = true;
    bool selectionReadable = true;
    bool acceptsWrites = true;
    bool refusedWriteStillUpdates = false;
    bool canCreateEvents = true;
    InsertionResult expected;
    Keys expectedKeys;
    bool expectClipboardWritten;
    bool expectNotification;
    Lines expectedLog;
};

void PrintTo(const RouteCase& c, std::ostream* out) { *out << c.name; }

class TextInsertionRouteTest : public TextInsertionServiceTest, public testing::WithParamInterface<RouteCase> {};

TEST_P(TextInsertionRouteTest, ChoosesTheRouteAndReportsIt) {
    const RouteCase& c = GetParam();
    window.currentClass = c.activeClass;
    field.available = c.accessibilityAvailable;
    field.hasFocusedElement = c.hasFocusedElement;
    field.value = c.valueReadable ? std::optional<std::string>("ab") : std::nullopt;
    field.selection = c.selectionReadable ? std::optional<TextRange>(TextRange{1, 0}) : std::nullopt;
    field.acceptsWrites = c.acceptsWrites;
    if (c.refusedWriteStillUpdates) {
        field.valueAfterRefusedWrite = "aXYZb";
    }
    keys.canCreateEvents = c.canCreateEvents;
    clipboard.contents = "earlier clipboard";

    EXPECT_EQ(service.insertText("XYZ"), c.expected);

    EXPECT_EQ(keys.sent, c.expectedKeys);
    EXPECT_EQ(clipboard.contents, c.expectClipboardWritten ? "XYZ" : "earlier clipboard");
    EXPECT_EQ(clipboard.writeCount, c.expectClipboardWritten ? 1 : 0);
    ASSERT_EQ(notifications.shown.size(), c.expectNotification ? 1u : 0u);
    if (c.expectNotification) {
        EXPECT_EQ(notifications.shown[0].title, "Copied to Clipboard");
        EXPECT_EQ(notifications.shown[0].body, "XYZ");
        EXPECT_TRUE(notifications.shown[0].silent);
    }
    EXPECT_EQ(insertionLog(), c.expectedLog);
}

const std::string kTerminal = "TextInsertionService: Terminal detected, using clipboard + paste";
const std::string kViaAccessibility = "TextInsertionService: Inserted via Accessibility API (clipboard preserved)";
const std::string kAccessibilityFailed = "TextInsertionService: Accessibility failed, trying clipboard + Cmd+V";
const std::string kNoFocus = "TextInsertionService: Could not get focused element";
const std::string kPasted = "TextInsertionService: Simulated Cmd+V paste";
const std::string kViaPaste = "TextInsertionService: Inserted via Cmd+V simulation";
const std::string kNoEvents = "TextInsertionService: Failed to create keyboard events";
const std::string kAllFailed = "TextInsertionService: All insertion methods failed, text is in clipboard";

INSTANTIATE_TEST_SUITE_P(
    Routes, TextInsertionRouteTest,
    testing::Values(
        RouteCase{.name = "TerminalPastesEvenWhenAccessibilityWorks", .activeClass = "Xfce4-terminal",
                  .expected = InsertionResult::clipboardPaste, .expectedKeys = {"ctrl+shift+v"},
                  .expectClipboardWritten = true, .expectNotification = false, .expectedLog = {kTerminal, kPasted}},
        RouteCase{.name = "TerminalWithoutKeyEventsIsClipboardOnlyWithoutNotification", .activeClass = "URxvt",
                  .canCreateEvents = false, .expected = InsertionResult::clipboardOnly, .expectedKeys = {},
                  .expectClipboardWritten = true, .expectNotification = false, .expectedLog = {kTerminal, kNoEvents}},
        RouteCase{.name = "TextFieldGetsAccessibilityAndClipboardIsUntouched", .activeClass = "Gedit",
                  .expected = InsertionResult::accessibility, .expectedKeys = {}, .expectClipboardWritten = false,
                  .expectNotification = false, .expectedLog = {kViaAccessibility}},
        RouteCase{.name = "NoActiveWindowIsNoTerminal", .activeClass = std::nullopt,
                  .expected = InsertionResult::accessibility, .expectedKeys = {}, .expectClipboardWritten = false,
                  .expectNotification = false, .expectedLog = {kViaAccessibility}},
        RouteCase{.name = "AccessibilityUnavailablePastes", .activeClass = "Gedit", .accessibilityAvailable = false,
                  .expected = InsertionResult::clipboardPaste, .expectedKeys = {"ctrl+v"}, .expectClipboardWritten = true,
                  .expectNotification = false, .expectedLog = {kAccessibilityFailed, kPasted, kViaPaste}},
        RouteCase{.name = "NoFocusedElementIsLoggedAndPastes", .activeClass = "Gedit", .hasFocusedElement = false,
                  .expected = InsertionResult::clipboardPaste, .expectedKeys = {"ctrl+v"}, .expectClipboardWritten = true,
                  .expectNotification = false, .expectedLog = {kNoFocus, kAccessibilityFailed, kPasted, kViaPaste}},
        RouteCase{.name = "UnreadableValuePastes", .activeClass = "Gedit", .valueReadable = false,
                  .expected = InsertionResult::clipboardPaste, .expectedKeys = {"ctrl+v"}, .expectClipboardWritten = true,
                  .expectNotification = false, .expectedLog = {kAccessibilityFailed, kPasted, kViaPaste}},
        RouteCase{.name = "UnreadableSelectionPastes", .activeClass = "Gedit", .selectionReadable = false,
                  .expected = InsertionResult::clipboardPaste, .expectedKeys = {"ctrl+v"}, .expectClipboardWritten = true,
                  .expectNotification = false, .expectedLog = {kAccessibilityFailed, kPasted, kViaPaste}},
        RouteCase{.name = "RefusedWriteThatDidNotLandPastes", .activeClass = "Gedit", .acceptsWrites = false,
                  .expected = InsertionResult::clipboardPaste, .expectedKeys = {"ctrl+v"}, .expectClipboardWritten = true,
                  .expectNotification = false, .expectedLog = {kAccessibilityFailed, kPasted, kViaPaste}},
        RouteCase{.name = "RefusedWriteThatLandedCountsAsAccessibility", .activeClass = "Gedit", .acceptsWrites = false,
                  .refusedWriteStillUpdates = true, .expected = InsertionResult::accessibility, .expectedKeys = {},
                  .expectClipboardWritten = false, .expectNotification = false, .expectedLog = {kViaAccessibility}},
        RouteCase{.name = "NothingWorksLeavesTextOnClipboardAndNotifies", .activeClass = "Gedit",
                  .accessibilityAvailable = false, .canCreateEvents = false, .expected = InsertionResult::clipboardOnly,
                  .expectedKeys = {}, .expectClipboardWritten = true, .expectNotification = true,
                  .expectedLog = {kAccessibilityFailed, kNoEvents, kAllFailed}}),
    [](const testing::TestParamInfo<RouteCase>& info) { return info.param.name; });

TEST_F(TextInsertionServiceTest, TerminalClassesAreRecognisedWhateverTheirCase) {
    for (const char* name : {"Gnome-terminal", "konsole", "XTerm", "kitty", "Alacritty", "org.wezfurlong.wezterm",
                             "com.mitchellh.ghostty", "foot", "Tilix", "Xfce4-terminal", "Terminator", "URxvt"}) {
        EXPECT_TRUE(TextInsertionService::isTerminalClass(name)) << name;
    }
    for (const char* name : {"", "Gedit", "firefox", "xterminal", "terminal-notes"}) {
        EXPECT_FALSE(TextInsertionService::isTerminalClass(name)) << name;
    }
}

// --- The accessibility write --------------------------------------------------------------------

struct SpliceCase {
    std::string name;
    std::string value;
    TextRange selection;
    std::string text;
    std::string expectedValue;
    std::int64_t expectedCaret;
};

void PrintTo(const SpliceCase& c, std::ostream* out) { *out << c.name; }

class TextInsertionSpliceTest : public TextInsertionServiceTest, public testing::WithParamInterface<SpliceCase> {};

TEST_P(TextInsertionSpliceTest, ReplacesTheSelectionAndPutsTheCaretAfterTheText) {
    const SpliceCase& c = GetParam();
    field.value = c.value;
    field.selection = c.selection;

    EXPECT_EQ(service.insertText(c.text), InsertionResult::accessibility);
    EXPECT_EQ(field.value, c.expectedValue);
    EXPECT_EQ(field.caretMoves, std::vector<std::int64_t>{c.expectedCaret});
    EXPECT_EQ(clipboard.writeCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Splices, TextInsertionSpliceTest,
    testing::Values(
        SpliceCase{"SelectionInTheMiddle", "Hello world!", {6, 5}, "there", "Hello there!", 11},
        SpliceCase{"CaretWithoutSelection", "Hello world", {5, 0}, ",", "Hello, world", 6},
        SpliceCase{"EmptyField", "", {0, 0}, "Hi", "Hi", 2},
        SpliceCase{"WholeValueSelected", "old", {0, 3}, "new", "new", 3},
        SpliceCase{"LocationPastTheEndAppends", "abc", {10, 2}, "Z", "abcZ", 4},
        SpliceCase{"LengthPastTheEndReplacesToTheEnd", "abcdef", {2, 100}, "Z", "abZ", 3},
        // Offsets count code points: "e" + combining acute is two, the emoji one.
        SpliceCase{"OffsetsCountCodePoints", "Cafe\u0301 \U0001F600 ok", {8, 2}, "fine", "Cafe\u0301 \U0001F600 fine", 12},
        SpliceCase{"InsertedTextMovesTheCaretByItsCodePoints", "x", {1, 0}, "e\u0301\U0001F44D", "xe\u0301\U0001F44D", 4}),
    [](const testing::TestParamInfo<SpliceCase>& info) { return info.param.name; });

TEST_F(TextInsertionServiceTest, AcceptedReadBackDoesNotMoveTheCaret) {
    field.value = "ab";
    field.selection = TextRange{1, 0};
    field.acceptsWrites = false;
    field.valueAfterRefusedWrite = "aXb";

    EXPECT_EQ(service.insertText("X"), InsertionResult::accessibility);
    EXPECT_TRUE(field.caretMoves.empty());
}

// --- Pasting ------------------------------------------------------------------------------------

TEST_F(TextInsertionServiceTest, PasteWaitsWithTheTextAlreadyOnTheClipboard) {
    field.available = false;
    EXPECT_EQ(service.insertText("hello"), InsertionResult::clipboardPaste);
    EXPECT_EQ(waits, (std::vector<WaitSeen>{{50ms, {}, "hello"}}));
    EXPECT_EQ(keys.sent, Keys{"ctrl+v"});
}

TEST_F(TextInsertionServiceTest, SimulatePasteUsesTheTerminalShortcutInTerminals) {
    EXPECT_TRUE(service.simulatePaste());
    window.currentClass = "kitty";
    EXPECT_TRUE(service.simulatePaste());
    keys.canCreateEvents = false;
    EXPECT_FALSE(service.simulatePaste());

    EXPECT_EQ(keys.sent, (Keys{"ctrl+v", "ctrl+shift+v"}));
    EXPECT_EQ(waits.size(), 3u);
    EXPECT_EQ(insertionLog(), (Lines{kPasted, kPasted, kNoEvents}));
    EXPECT_EQ(clipboard.writeCount, 0);
}

// --- The clipboard notification -----------------------------------------------------------------

TEST_F(TextInsertionServiceTest, NotificationBodyIsCutAfterOneHundredCharacters) {
    const std::string hundred(100, 'a');
    EXPECT_EQ(TextInsertionService::notificationBody(hundred), hundred);
    EXPECT_EQ(TextInsertionService::notificationBody(hundred + "b"), hundred + "...");
    // An accented letter and an emoji family are one character each and never split.
    std::string accented;
    for (int i = 0; i < 100; ++i) {
        accented += "e\u0301";
    }
    EXPECT_EQ(TextInsertionService::notificationBody(accented), accented);
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_EQ(TextInsertionService::notificationBody(std::string(99, 'a') + family + family),
              std::string(99, 'a') + family + "...");
}

TEST_F(TextInsertionServiceTest, RefusedNotificationIsOnlyLogged) {
    field.available = false;
    keys.canCreateEvents = false;
    notifications.refuseWith = "no notification server";

    EXPECT_EQ(service.insertText("hi"), InsertionResult::clipboardOnly);
    EXPECT_TRUE(log.contains("TextInsertionService: Failed to show notification: no notification server"));
}

// --- Streaming ----------------------------------------------------------------------------------

TEST_F(TextInsertionServiceTest, StreamingCountsUserPerceivedCharacters) {
    service.startStreamingSession();
    EXPECT_TRUE(service.isStreaming());
    EXPECT_EQ(service.insertStreamingText("Cafe\u0301 "), InsertionResult::accessibility);
    EXPECT_EQ(service.insertStreamingText("\U0001F1EB\U0001F1F7\U0001F468\u200D\U0001F469\u200D\U0001F467"),
              InsertionResult::accessibility);
    EXPECT_EQ(service.streamingInsertedCount(), 7);
    EXPECT_EQ(insertionLog(), (Lines{"TextInsertionService: Started streaming session", kViaAccessibility,
                                     "TextInsertionService: Inserted 5 chars (total: 5)", kViaAccessibility,
                                     "TextInsertionService: Inserted 2 chars (total: 7)"}));
}

TEST_F(TextInsertionServiceTest, FailedStreamingInsertionIsLoggedButNotCounted) {
    service.startStreamingSession();
    service.insertStreamingText("abc");
    field.available = false;
    keys.canCreateEvents = false;
    log.clear();

    EXPECT_EQ(service.insertStreamingText("de"), InsertionResult::clipboardOnly);
    EXPECT_EQ(service.streamingInsertedCount(), 3);
    EXPECT_EQ(insertionLog().back(), "TextInsertionService: Inserted 2 chars (total: 3)");
}

TEST_F(TextInsertionServiceTest, StreamingTextOutsideASessionIsNeitherCountedNorLogged) {
    EXPECT_EQ(service.insertStreamingText("abc"), InsertionResult::accessibility);
    EXPECT_EQ(service.streamingInsertedCount(), 0);
    EXPECT_EQ(insertionLog(), Lines{kViaAccessibility});
}

TEST_F(TextInsertionServiceTest, RevisionDeletesWaitsThenInsertsAndSetsTheCount) {
    service.startStreamingSession();
    service.insertStreamingText("he\u0301llo");
    field.available = false;  // the revision goes through the paste route so the keys show the order
    log.clear();

    EXPECT_EQ(service.handleRevision(service.streamingInsertedCount(), "hello \U0001F44B"),
              InsertionResult::clipboardPaste);

    EXPECT_EQ(keys.sent, (Keys{"backspace", "backspace", "backspace", "backspace", "backspace", "ctrl+v"}));
    EXPECT_EQ(waits, (std::vector<WaitSeen>{{20ms, Keys(5, "backspace"), std::nullopt},
                                            {50ms, Keys(5, "backspace"), "hello \U0001F44B"}}));
    EXPECT_EQ(service.streamingInsertedCount(), 7);
    EXPECT_EQ(insertionLog().front(),
              "TextInsertionService: Handling revision - deleting 5 chars, inserting 'hello \U0001F44B'");
    EXPECT_EQ(insertionLog().back(), "TextInsertionService: Revision complete, new count: 7");
}

TEST_F(TextInsertionServiceTest, RevisionOfNothingStillWaitsBeforeInserting) {
    service.startStreamingSession();
    field.available = false;
    service.handleRevision(0, "abc");
    EXPECT_EQ(keys.sent, Keys{"ctrl+v"});
    EXPECT_EQ(waits.front(), (WaitSeen{20ms, {}, std::nullopt}));
    EXPECT_EQ(service.streamingInsertedCount(), 3);
}

// In an accessible field the revision is made by editing the text, not by keys: Backspace
// presses would arrive as Ctrl+BackSpace while the user holds Right Ctrl (the fn stand-in), and
// the application could handle them after the write of the new text.
TEST_F(TextInsertionServiceTest, RevisionInAnAccessibleFieldEditsTheTextBeforeTheCaret) {
    field.value = "Note: |tail";
    field.selection = TextRange{6, 0};
    service.startStreamingSession();
    service.insertStreamingText("I scréam");  // 8 characters
    log.clear();

    EXPECT_EQ(service.handleRevision(service.streamingInsertedCount(), "Ice cream"), InsertionResult::accessibility);
    EXPECT_TRUE(keys.sent.empty());
    EXPECT_TRUE(waits.empty());
    EXPECT_EQ(field.value, "Note: Ice cream|tail");
    EXPECT_EQ(field.selection->location, 15);
    EXPECT_EQ(service.streamingInsertedCount(), 9);
}

TEST_F(TextInsertionServiceTest, FailedRevisionKeepsTheCountAfterTheBackspaces) {
    service.startStreamingSession();
    service.insertStreamingText("abcd");
    field.available = false;
    keys.canCreateEvents = false;

    EXPECT_EQ(service.handleRevision(4, "xy"), InsertionResult::clipboardOnly);
    EXPECT_EQ(service.streamingInsertedCount(), 4);
    EXPECT_TRUE(log.contains("TextInsertionService: Revision complete, new count: 4"));
}

TEST_F(TextInsertionServiceTest, RevisionOutsideASessionIsAPlainInsertion) {
    EXPECT_EQ(service.handleRevision(3, "abc"), InsertionResult::accessibility);
    EXPECT_TRUE(keys.sent.empty());
    EXPECT_TRUE(waits.empty());
    EXPECT_EQ(service.streamingInsertedCount(), 0);
    EXPECT_EQ(insertionLog(), Lines{kViaAccessibility});
}

TEST_F(TextInsertionServiceTest, CommitKeepsTheTextAndClosesTheSession) {
    service.startStreamingSession();
    service.insertStreamingText("abc");
    service.commitStreamingSession();

    EXPECT_FALSE(service.isStreaming());
    EXPECT_EQ(service.streamingInsertedCount(), 0);
    EXPECT_TRUE(keys.sent.empty());
    EXPECT_TRUE(log.contains("TextInsertionService: Committed streaming session (3 chars)"));
}

TEST_F(TextInsertionServiceTest, UndoRemovesExactlyTheCountedCharacters) {
    field.value = "Note: ";
    field.selection = TextRange{6, 0};
    service.startStreamingSession();
    service.insertStreamingText("no\u0308e\u0308l \U0001F384");  // 6 characters, 8 code points
    log.clear();
    service.undoStreamingInsertion();

    EXPECT_TRUE(keys.sent.empty()) << "an accessible field is edited directly";
    EXPECT_EQ(field.value, "Note: ");
    EXPECT_EQ(field.selection->location, 6);
    EXPECT_FALSE(service.isStreaming());
    EXPECT_EQ(service.streamingInsertedCount(), 0);
    EXPECT_EQ(insertionLog(),
              (Lines{"TextInsertionService: Undoing 6 chars", "TextInsertionService: Undo complete"}));
}

TEST_F(TextInsertionServiceTest, UndoWithoutAccessibilitySendsOneBackspacePerCharacter) {
    service.startStreamingSession();
    service.insertStreamingText("no\u0308e\u0308l \U0001F384");
    field.available = false;
    log.clear();
    service.undoStreamingInsertion();

    EXPECT_EQ(keys.sent, Keys(6, "backspace"));
    EXPECT_FALSE(service.isStreaming());
    EXPECT_EQ(service.streamingInsertedCount(), 0);
    EXPECT_EQ(insertionLog(),
              (Lines{"TextInsertionService: Undoing 6 chars", "TextInsertionService: Undo complete"}));
}

TEST_F(TextInsertionServiceTest, UndoWithNothingTypedSendsNothing) {
    service.startStreamingSession();
    service.undoStreamingInsertion();

    EXPECT_TRUE(keys.sent.empty());
    EXPECT_FALSE(service.isStreaming());
    EXPECT_EQ(insertionLog().back(), "TextInsertionService: Nothing to undo");
}

TEST_F(TextInsertionServiceTest, StartingASessionZeroesTheCount) {
    service.startStreamingSession();
    service.insertStreamingText("abc");
    service.startStreamingSession();
    EXPECT_EQ(service.streamingInsertedCount(), 0);
}

}  // namespace
}  // namespace quonvera
