#pragma once

#include "platform/SystemSounds.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace quonvera {

// Plays the two short event sounds through the sound server on a worker thread of its own, so
// a slow or missing server never delays the hotkey. Without a server the sounds are skipped.
class PulseAudioSystemSounds final : public SystemSounds {
public:
    PulseAudioSystemSounds();
    ~PulseAudioSystemSounds() override;

    void play(SystemSound sound) override;

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<SystemSound> queue_;
    bool stopping_ = false;
    bool reportedFailure_ = false;
    std::thread worker_;
};

}  // namespace quonvera
