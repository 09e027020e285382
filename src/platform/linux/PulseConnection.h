#pragma once

#include "core/MainQueue.h"
#include "core/Result.h"

#include <functional>
#include <memory>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;

namespace quonvera {

struct PulseError {
    int status = 0;  // the client library's error code
    std::string message;
};

// One connection to the PulseAudio server (PipeWire's PulseAudio service answers as well) with
// its own event thread. The server is the one PULSE_SERVER names, else the user's; it is never
// started on demand.
class PulseConnection {
public:
    static Result<std::shared_ptr<PulseConnection>, PulseError> connect(Duration timeout);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Holds the event thread's lock: callbacks do not run while it is held.
    class Lock {
    public:
        explicit Lock(PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop_;
    };

    pa_context* context() const { return context_; }
    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    // With the lock held: whether the connection is still usable.
    bool isReady() const;
    // With the lock held: waits for signals from callbacks until `done` or `timeout`. Returns done().
    bool waitUntil(const std::function<bool()>& done, Duration timeout);
    // With the lock held: the last error of the connection.
    PulseError lastError(const std::string& prefix) const;
    // For callbacks: wakes waitUntil.
    static void signal(pa_threaded_mainloop* mainloop);

private:
    PulseConnection() = default;

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace quonvera
