#pragma once

#include <string>

namespace quonvera {

// A new random (version 4) UUID in its canonical upper-case form, 8-4-4-4-12.
std::string makeUuidString();

// True when `text` is a canonical UUID (either case).
bool isUuidString(const std::string& text);

}  // namespace quonvera
