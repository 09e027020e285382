#pragma once

namespace quonvera {

// The two permissions as the settings window shows them; both false until the first check.
struct PermissionStatus {
    bool accessibility = false;
    bool microphone = false;

    bool operator==(const PermissionStatus&) const = default;
};

}  // namespace quonvera
