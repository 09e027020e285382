#pragma once

#include "app/contract/AudioEngineInterface.h"

#include <span>

namespace quonvera {

// Six bars for the indicator from one buffer: the buffer is cut into six equal bands (the few
// samples left over at the end are ignored); each band's RMS is mapped linearly in dB from
// -50 dBFS (0) to full scale (1).
AudioLevels calculateLevels(std::span<const float> samples);

}  // namespace quonvera
