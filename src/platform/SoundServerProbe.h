#pragma once

namespace quonvera {

// Whether a sound server is reachable.
class SoundServerProbe {
public:
    virtual ~SoundServerProbe() = default;
    virtual bool soundServerAnswers() = 0;
};

}  // namespace quonvera
