#pragma once

#include "models/InsertionResult.h"

#include <string>

namespace quonvera {

// Puts text into the focused application. Runs on the main thread.
class TextInsertionServiceInterface {
public:
    virtual ~TextInsertionServiceInterface() = default;
    virtual InsertionResult insertText(const std::string& text) = 0;
    // Waits briefly and sends the paste keystroke; true when it was sent.
    virtual bool simulatePaste() = 0;
    virtual void startStreamingSession() = 0;
    virtual void commitStreamingSession() = 0;
    virtual void undoStreamingInsertion() = 0;
    virtual InsertionResult insertStreamingText(const std::string& text) = 0;
    virtual InsertionResult handleRevision(int deleteCount, const std::string& newText) = 0;
    // User-perceived characters typed in the current streaming session.
    virtual int streamingInsertedCount() const = 0;
};

}  // namespace quonvera
