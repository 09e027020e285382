#include "platform/linux/PulseSoundServerProbe.h"

#include "platform/linux/PulseConnection.h"

namespace quonvera {

bool PulseSoundServerProbe::soundServerAnswers() { return PulseConnection::connect(seconds(1)).ok(); }

}  // namespace quonvera
