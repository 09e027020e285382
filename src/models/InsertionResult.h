#pragma once

namespace quonvera {

// How a text reached the focused application.
enum class InsertionResult {
    accessibility,   // written through the accessibility interface; the clipboard is untouched
    clipboardPaste,  // put on the clipboard and pasted with a synthetic keystroke
    clipboardOnly,   // left on the clipboard; the user was told to paste it
};

}  // namespace quonvera
