#include "platform/linux/PulseConnection.h"

#include <pulse/pulseaudio.h>

namespace quonvera {

namespace {

void onContextState(pa_context*, void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

struct Deadline {
    pa_threaded_mainloop* mainloop;
    bool passed = false;
};

void onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* deadline = static_cast<Deadline*>(userdata);
    deadline->passed = true;
    pa_threaded_mainloop_signal(deadline->mainloop, 0);
}

}  // namespace

Result<std::shared_ptr<PulseConnection>, PulseError> PulseConnection::connect(Duration timeout) {
    std::shared_ptr<PulseConnection> connection(new PulseConnection());
    connection->mainloop_ = pa_threaded_mainloop_new();
    if (connection->mainloop_ == nullptr) return PulseError{PA_ERR_INTERNAL, "Cannot create the sound event loop"};
    connection->context_ = pa_context_new(pa_threaded_mainloop_get_api(connection->mainloop_), "Quonvera");
    if (connection->context_ == nullptr) return PulseError{PA_ERR_INTERNAL, "Cannot create the sound server context"};
    pa_context_set_state_callback(connection->context_, onContextState, connection->mainloop_);
    if (pa_threaded_mainloop_start(connection->mainloop_) < 0)
        return PulseError{PA_ERR_INTERNAL, "Cannot start the sound event loop"};

    Lock lock(*connection);
    if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return connection->lastError("Cannot connect to the sound server");
    const bool settled = connection->waitUntil(
        [&] {
            const pa_context_state_t state = pa_context_get_state(connection->context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        timeout);
    if (!settled) return PulseError{PA_ERR_TIMEOUT, "Cannot connect to the sound server: Timeout"};
    if (!connection->isReady()) return connection->lastError("Cannot connect to the sound server");
    return connection;
}

PulseConnection::~PulseConnection() {
    if (mainloop_ == nullptr) return;
    if (context_ != nullptr) {
        pa_threaded_mainloop_lock(mainloop_);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_unlock(mainloop_);
    }
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

PulseConnection::Lock::Lock(PulseConnection& connection) : mainloop_(connection.mainloop_) {
    pa_threaded_mainloop_lock(mainloop_);
}

PulseConnection::Lock::~Lock() { pa_threaded_mainloop_unlock(mainloop_); }

bool PulseConnection::isReady() const { return pa_context_get_state(context_) == PA_CONTEXT_READY; }

bool PulseConnection::waitUntil(const std::function<bool()>& done, Duration timeout) {
    if (done()) return true;
    Deadline deadline{mainloop_};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
    const auto microseconds = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
    pa_time_event* timer = pa_context_rttime_new(context_, pa_rtclock_now() + static_cast<pa_usec_t>(microseconds),
                                                 onDeadline, &deadline);
    while (!done() && !deadline.passed) pa_threaded_mainloop_wait(mainloop_);
    if (timer != nullptr) api->time_free(timer);
    return done();
}

PulseError PulseConnection::lastError(const std::string& prefix) const {
    const int status = pa_context_errno(context_);
    return PulseError{status, prefix + ": " + pa_strerror(status)};
}

void PulseConnection::signal(pa_threaded_mainloop* mainloop) { pa_threaded_mainloop_signal(mainloop, 0); }

}  // namespace quonvera
