#include "services/TextInsertionService.h"

#include "core/Log.h"
#include "core/TextCharacters.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <thread>

namespace quonvera {
namespace {

// Class names (WM_CLASS) of the terminal emulators, lower case. Some name themselves by program,
// some by reverse domain.
constexpr std::array<std::string_view, 16> terminalClasses = {
    "gnome-terminal", "konsole", "xterm", "kitty", "alacritty", "wezterm", "org.wezfurlong.wezterm",
    "ghostty", "com.mitchellh.ghostty", "foot", "tilix", "com.gexperts.tilix", "xfce4-terminal",
    "terminator", "urxvt", "rxvt-unicode",
};

bool succeeded(InsertionResult result) {
    return result == InsertionResult::accessibility || result == InsertionResult::clipboardPaste;
}

}  // namespace

TextInsertionService::TextInsertionService(Platform platform, Wait wait)
    : platform_(platform), wait_(std::move(wait)) {}

void TextInsertionService::sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

bool TextInsertionService::isTerminalClass(std::string_view applicationClass) {
    std::string lower(applicationClass);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(terminalClasses.begin(), terminalClasses.end(), lower) != terminalClasses.end();
}

bool TextInsertionService::isTerminalFrontmost() {
    const auto applicationClass = platform_.activeWindow.applicationClass();
    return applicationClass && isTerminalClass(*applicationClass);
}

InsertionResult TextInsertionService::insertText(const std::string& text) {
    if (isTerminalFrontmost()) {
        logLine("TextInsertionService: Terminal detected, using clipboard + paste");
        platform_.clipboard.setText(text);
        return paste(PasteKeys::controlShiftV) ? InsertionResult::clipboardPaste : InsertionResult::clipboardOnly;
    }
    if (insertViaAccessibility(text)) {
        logLine("TextInsertionService: Inserted via Accessibility API (clipboard preserved)");
        return InsertionResult::accessibility;
    }
    logLine("TextInsertionService: Accessibility failed, trying clipboard + Cmd+V");
    platform_.clipboard.setText(text);
    if (paste(PasteKeys::controlV)) {
        logLine("TextInsertionService: Inserted via Cmd+V simulation");
        return InsertionResult::clipboardPaste;
    }
    logLine("TextInsertionService: All insertion methods failed, text is in clipboard");
    showClipboardNotification(text);
    return InsertionResult::clipboardOnly;
}

bool TextInsertionService::insertViaAccessibility(const std::string& text) {
    if (!platform_.focusedText.isAvailable()) {
        return false;
    }
    auto element = platform_.focusedText.focusedElement();
    if (!element) {
        logLine("TextInsertionService: Could not get focused element");
        return false;
    }
    const auto current = element->value();
    if (!current) {
        return false;
    }
    const auto range = element->selectedRange();
    if (!range) {
        return false;
    }
    // Offsets are code points; past the end of the value they mean the end.
    const std::size_t start = byteOffsetOfCodePoint(*current, std::max<std::int64_t>(range->location, 0));
    const std::size_t end =
        start + byteOffsetOfCodePoint(std::string_view(*current).substr(start), std::max<std::int64_t>(range->length, 0));
    const std::string updated = current->substr(0, start) + text + current->substr(end);

    if (element->setValue(updated)) {
        element->setCaret(codePointCount(std::string_view(*current).substr(0, start)) + codePointCount(text));
        return true;
    }
    const auto readBack = element->value();
    return readBack && *readBack == updated;
}

bool TextInsertionService::simulatePaste() {
    return paste(isTerminalFrontmost() ? PasteKeys::controlShiftV : PasteKeys::controlV);
}

bool TextInsertionService::paste(PasteKeys keys) {
    wait_(pasteDelay);  // lets the clipboard change settle before the application asks for it
    if (!platform_.keystrokes.sendPaste(keys)) {
        logLine("TextInsertionService: Failed to create keyboard events");
        return false;
    }
    logLine("TextInsertionService: Simulated Cmd+V paste");
    return true;
}

// Keys typed while the user holds a modifier (Right Ctrl stands in for fn) would become
// Ctrl+BackSpace, and the application may handle them after a later write; where the field can
// be edited directly, the characters before the caret are removed in one write instead.
bool TextInsertionService::deleteViaAccessibility(std::int64_t count) {
    if (isTerminalFrontmost() || !platform_.focusedText.isAvailable()) return false;
    auto element = platform_.focusedText.focusedElement();
    if (!element) return false;
    const auto current = element->value();
    const auto range = element->selectedRange();
    if (!current || !range || range->length != 0) return false;
    const std::size_t caret = byteOffsetOfCodePoint(*current, std::max<std::int64_t>(range->location, 0));
    const std::string_view before = std::string_view(*current).substr(0, caret);
    const std::string kept = firstCharacters(before, std::max<std::int64_t>(characterCount(before) - count, 0));
    const std::string updated = kept + current->substr(caret);
    if (!element->setValue(updated)) {
        const auto readBack = element->value();
        if (!readBack || *readBack != updated) return false;
    }
    element->setCaret(codePointCount(kept));
    return true;
}

void TextInsertionService::deleteBeforeCaret(std::int64_t count, bool settle) {
    if (count > 0 && deleteViaAccessibility(count)) return;
    postBackspaces(count);
    if (settle) wait_(revisionDelay);
}

void TextInsertionService::postBackspaces(std::int64_t count) {
    for (std::int64_t i = 0; i < count; ++i) {
        platform_.keystrokes.sendBackspace();  // a press that cannot be made is skipped
    }
}

std::string TextInsertionService::notificationBody(const std::string& text) {
    if (characterCount(text) <= notificationBodyLimit) {
        return text;
    }
    return firstCharacters(text, notificationBodyLimit) + "...";
}

void TextInsertionService::showClipboardNotification(const std::string& text) {
    platform_.notifications.show(
        UserNotification{"Copied to Clipboard", notificationBody(text), true},
        [](std::optional<std::string> error) {
            if (error) {
                logLine("TextInsertionService: Failed to show notification: " + *error);
            }
        });
}

void TextInsertionService::startStreamingSession() {
    isStreaming_ = true;
    streamingInsertedCount_ = 0;
    logLine("TextInsertionService: Started streaming session");
}

InsertionResult TextInsertionService::insertStreamingText(const std::string& text) {
    const bool streaming = isStreaming_;
    const InsertionResult result = insertText(text);
    if (!streaming) {
        return result;
    }
    const std::int64_t count = characterCount(text);
    if (succeeded(result)) {
        streamingInsertedCount_ += count;
    }
    logLine("TextInsertionService: Inserted " + std::to_string(count) + " chars (total: " +
            std::to_string(streamingInsertedCount_) + ")");
    return result;
}

InsertionResult TextInsertionService::handleRevision(int deleteCount, const std::string& newText) {
    if (!isStreaming_) {
        return insertText(newText);
    }
    logLine("TextInsertionService: Handling revision - deleting " + std::to_string(deleteCount) +
            " chars, inserting '" + newText + "'");
    deleteBeforeCaret(std::max(deleteCount, 0), /*settle=*/true);
    const InsertionResult result = insertText(newText);
    if (succeeded(result)) {
        // The caller deletes everything typed so far and sends the whole revised text.
        streamingInsertedCount_ = characterCount(newText);
    }
    logLine("TextInsertionService: Revision complete, new count: " + std::to_string(streamingInsertedCount_));
    return result;
}

void TextInsertionService::commitStreamingSession() {
    logLine("TextInsertionService: Committed streaming session (" + std::to_string(streamingInsertedCount_) +
            " chars)");
    isStreaming_ = false;
    streamingInsertedCount_ = 0;
}

void TextInsertionService::undoStreamingInsertion() {
    if (streamingInsertedCount_ < 1) {
        logLine("TextInsertionService: Nothing to undo");
        isStreaming_ = false;
        return;
    }
    logLine("TextInsertionService: Undoing " + std::to_string(streamingInsertedCount_) + " chars");
    deleteBeforeCaret(streamingInsertedCount_, /*settle=*/false);
    streamingInsertedCount_ = 0;
    isStreaming_ = false;
    logLine("TextInsertionService: Undo complete");
}

}  // namespace quonvera
