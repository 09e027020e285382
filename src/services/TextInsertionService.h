#pragma once

#include "app/contract/TextInsertionServiceInterface.h"
#include "platform/ActiveWindow.h"
#include "platform/Clipboard.h"
#include "platform/FocusedText.h"
#include "platform/KeystrokeSender.h"
#include "platform/UserNotifications.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quonvera {

// Puts text at the text cursor of the focused application: written through the accessibility
// interface when it can be (the clipboard is left alone), otherwise put on the clipboard and
// pasted with a synthetic keystroke, and when even that fails left on the clipboard with a
// notification to the user. Terminal emulators always get the clipboard and paste. In a
// streaming session it counts the characters it typed so they can be revised or undone with
// Backspace. Main thread only; the short fixed waits block the caller.
class TextInsertionService : public TextInsertionServiceInterface {
public:
    using Wait = std::function<void(std::chrono::milliseconds)>;

    struct Platform {
        ActiveWindow& activeWindow;
        FocusedText& focusedText;
        KeystrokeSender& keystrokes;
        Clipboard& clipboard;
        UserNotifications& notifications;
    };

    static constexpr std::chrono::milliseconds pasteDelay{50};
    static constexpr std::chrono::milliseconds revisionDelay{20};
    static constexpr std::int64_t notificationBodyLimit = 100;

    // `wait` blocks the calling thread; tests pass one that records instead of sleeping.
    explicit TextInsertionService(Platform platform, Wait wait = sleepFor);

    InsertionResult insertText(const std::string& text) override;
    bool simulatePaste() override;
    void startStreamingSession() override;
    void commitStreamingSession() override;
    void undoStreamingInsertion() override;
    InsertionResult insertStreamingText(const std::string& text) override;
    InsertionResult handleRevision(int deleteCount, const std::string& newText) override;
    int streamingInsertedCount() const override { return static_cast<int>(streamingInsertedCount_); }

    bool isStreaming() const { return isStreaming_; }

    // Whether an application class names a terminal emulator (compared without regard to case).
    static bool isTerminalClass(std::string_view applicationClass);
    // The body of the "Copied to Clipboard" notification for `text`.
    static std::string notificationBody(const std::string& text);

private:
    static void sleepFor(std::chrono::milliseconds duration);

    bool isTerminalFrontmost();
    bool insertViaAccessibility(const std::string& text);
    bool paste(PasteKeys keys);
    bool deleteViaAccessibility(std::int64_t count);
    // Removes `count` characters before the caret; `settle` waits after keystrokes.
    void deleteBeforeCaret(std::int64_t count, bool settle);
    void postBackspaces(std::int64_t count);
    void showClipboardNotification(const std::string& text);

    Platform platform_;
    Wait wait_;
    std::int64_t streamingInsertedCount_ = 0;
    bool isStreaming_ = false;
};

}  // namespace quonvera
