#pragma once

#include "platform/Clipboard.h"

namespace quonvera {

class InMemoryClipboard : public Clipboard {
public:
    void setText(const std::string& text) override {
        contents = text;
        ++writeCount;
    }
    std::optional<std::string> text() const override { return contents; }

    std::optional<std::string> contents;
    int writeCount = 0;
};

}  // namespace quonvera
