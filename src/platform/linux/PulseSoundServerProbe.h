#pragma once

#include "platform/SoundServerProbe.h"

namespace quonvera {

// Connects to the PulseAudio server (or PipeWire's PulseAudio service) and lets go again.
class PulseSoundServerProbe final : public SoundServerProbe {
public:
    bool soundServerAnswers() override;
};

}  // namespace quonvera
