#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quonvera {

// A custom hotkey: modifiers plus at most one ordinary key (a macOS virtual key code).
struct HotkeyConfig {
    bool useControl = false;
    bool useOption = false;
    bool useCommand = false;
    bool useShift = false;
    bool useFn = false;
    std::optional<std::uint16_t> keyCode;

    bool operator==(const HotkeyConfig&) const = default;

    // Symbols without separators, e.g. "⇧⌘V"; "None" when empty.
    std::string compactDescription() const;
    // Words joined with "+", e.g. "Control+Option+Space"; "None" when empty.
    std::string longDescription() const;
};

// The label of a macOS virtual key code ("A", "Space", "F5", "⌫"), or "Key" and the code.
std::string keyName(std::uint16_t keyCode);

// The number of entries of the key-name table.
std::size_t keyNameTableSize();

}  // namespace quonvera
