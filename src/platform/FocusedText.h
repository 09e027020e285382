#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quonvera {

// A span of a text in Unicode code points (the unit of the desktop's accessibility offsets).
struct TextRange {
    std::int64_t location = 0;
    std::int64_t length = 0;
};

// The editable text element that has keyboard focus, as the desktop's accessibility interface
// shows it. Every read and write is a request to the application that owns the element.
class FocusedTextElement {
public:
    virtual ~FocusedTextElement() = default;
    // The whole text; nothing when it cannot be read (or must not be, as in password fields).
    virtual std::optional<std::string> value() = 0;
    // The selection, or the caret as an empty range when nothing is selected.
    virtual std::optional<TextRange> selectedRange() = 0;
    // Replaces the whole text; false when the application refused the write.
    virtual bool setValue(const std::string& text) = 0;
    // Puts the caret at `offset` with nothing selected.
    virtual void setCaret(std::int64_t offset) = 0;
};

// Access to the focused text element through the desktop's accessibility interface.
// Main thread only.
class FocusedText {
public:
    virtual ~FocusedText() = default;
    // Whether the accessibility interface can be used at all.
    virtual bool isAvailable() = 0;
    // The element with keyboard focus; nullptr when none can be found.
    virtual std::unique_ptr<FocusedTextElement> focusedElement() = 0;
};

}  // namespace quonvera
