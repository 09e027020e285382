#pragma once

#include "platform/FocusedText.h"

#include <vector>

namespace quonvera {

// A focused text field held in memory. Every field is what the next request sees.
class FakeFocusedText : public FocusedText {
public:
    bool isAvailable() override { return available; }

    std::unique_ptr<FocusedTextElement> focusedElement() override {
        if (!hasFocusedElement) {
            return nullptr;
        }
        return std::make_unique<Element>(*this);
    }

    bool available = true;
    bool hasFocusedElement = true;
    std::optional<std::string> value = std::string();
    std::optional<TextRange> selection = TextRange{};
    bool acceptsWrites = true;
    // When a write is refused, the value the field holds afterwards (nothing: unchanged).
    std::optional<std::string> valueAfterRefusedWrite;
    std::vector<std::string> writes;       // every value written, accepted or not
    std::vector<std::int64_t> caretMoves;  // every caret offset set

private:
    class Element : public FocusedTextElement {
    public:
        explicit Element(FakeFocusedText& field) : field_(field) {}
        std::optional<std::string> value() override { return field_.value; }
        std::optional<TextRange> selectedRange() override { return field_.selection; }
        bool setValue(const std::string& text) override {
            field_.writes.push_back(text);
            if (!field_.acceptsWrites) {
                if (field_.valueAfterRefusedWrite) {
                    field_.value = field_.valueAfterRefusedWrite;
                }
                return false;
            }
            field_.value = text;
            return true;
        }
        void setCaret(std::int64_t offset) override {
            field_.caretMoves.push_back(offset);
            field_.selection = TextRange{offset, 0};
        }

    private:
        FakeFocusedText& field_;
    };
};

}  // namespace quonvera
