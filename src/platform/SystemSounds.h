#pragma once

namespace quonvera {

// The two short event sounds of the dictation cycle.
enum class SystemSound { tink, pop };

class SystemSounds {
public:
    virtual ~SystemSounds() = default;
    // Starts the sound and returns at once.
    virtual void play(SystemSound sound) = 0;
};

}  // namespace quonvera
