#pragma once

#include "platform/SoundServerProbe.h"

namespace quonvera {

// Whether the sound server answers, for unit tests.
class FakeSoundServerProbe final : public SoundServerProbe {
public:
    bool soundServerAnswers() override { return answers; }
    bool answers = true;
};

}  // namespace quonvera
