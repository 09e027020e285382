#pragma once

#include "platform/FocusedText.h"

namespace quonvera {

// The focused text element through AT-SPI: the focused object inside the active window of an
// application on the accessibility bus, read through its Text interface and written through its
// EditableText interface. Password fields are never read. Each request is a call to the owning
// application, bounded by a short timeout so a hung application cannot hold the caller long.
class AtspiFocusedText : public FocusedText {
public:
    AtspiFocusedText();

    bool isAvailable() override;
    std::unique_ptr<FocusedTextElement> focusedElement() override;

private:
    bool initialised_ = false;
};

}  // namespace quonvera
