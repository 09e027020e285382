#pragma once

#include <optional>
#include <string>

namespace quonvera {

// The desktop's general clipboard. Main thread only.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Replaces whatever the clipboard held with `text`.
    virtual void setText(const std::string& text) = 0;
    virtual std::optional<std::string> text() const = 0;
};

}  // namespace quonvera
