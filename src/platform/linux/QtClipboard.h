#pragma once

#include "platform/Clipboard.h"

namespace quonvera {

// The X11 CLIPBOARD selection through QClipboard. Needs the QGuiApplication (or QApplication) of
// the process; without one it holds nothing and ignores writes. The process owns the selection
// after a write and serves it from its event loop.
class QtClipboard : public Clipboard {
public:
    void setText(const std::string& text) override;
    std::optional<std::string> text() const override;
};

}  // namespace quonvera
