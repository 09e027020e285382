#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quonvera {

// An input device of the sound server.
struct AudioDevice {
    std::uint32_t id = 0;  // identifies the device within this run (the server's index)
    std::string uid;       // stable across runs and reconnects; what the settings store
    std::string name;      // human-readable

    bool operator==(const AudioDevice&) const = default;
};

}  // namespace quonvera

template <>
struct std::hash<quonvera::AudioDevice> {
    std::size_t operator()(const quonvera::AudioDevice& device) const noexcept {
        std::size_t seed = std::hash<std::uint32_t>{}(device.id);
        for (const std::size_t part : {std::hash<std::string>{}(device.uid), std::hash<std::string>{}(device.name)})
            seed ^= part + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        return seed;
    }
};
