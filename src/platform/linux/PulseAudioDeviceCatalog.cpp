#include "platform/linux/PulseAudioDeviceCatalog.h"

#include <pulse/pulseaudio.h>

namespace quonvera {

namespace {

const Duration timeout = seconds(2);

struct SourceList {
    pa_threaded_mainloop* mainloop;
    std::vector<AudioDevice> devices{};
    bool done = false;
    bool failed = false;
};

void onSourceInfo(pa_context*, const pa_source_info* info, int endOfList, void* userdata) {
    auto* list = static_cast<SourceList*>(userdata);
    if (endOfList < 0) list->failed = true;
    if (endOfList != 0) {
        list->done = true;
        PulseConnection::signal(list->mainloop);
        return;
    }
    if (info->monitor_of_sink != PA_INVALID_INDEX || info->name == nullptr || info->description == nullptr) return;
    if (info->name[0] == '\0' || info->description[0] == '\0') return;
    list->devices.push_back(AudioDevice{info->index, info->name, info->description});
}

struct ServerInfo {
    pa_threaded_mainloop* mainloop;
    std::optional<std::string> defaultSource{};
    bool done = false;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* result = static_cast<ServerInfo*>(userdata);
    if (info != nullptr && info->default_source_name != nullptr && info->default_source_name[0] != '\0')
        result->defaultSource = info->default_source_name;
    result->done = true;
    PulseConnection::signal(result->mainloop);
}

struct Watcher {
    std::function<void()> onChange;
};

void onSubscriptionEvent(pa_context*, pa_subscription_event_type_t type, std::uint32_t, void* userdata) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility != PA_SUBSCRIPTION_EVENT_SOURCE) return;
    if (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE)
        static_cast<Watcher*>(userdata)->onChange();
}

struct Acknowledgement {
    pa_threaded_mainloop* mainloop;
    bool done = false;
    bool success = false;
};

void onSuccess(pa_context*, int success, void* userdata) {
    auto* ack = static_cast<Acknowledgement*>(userdata);
    ack->done = true;
    ack->success = success != 0;
    PulseConnection::signal(ack->mainloop);
}

// With the lock held: waits for `operation` to end, cancelling it on timeout.
template <typename Done>
bool finish(PulseConnection& connection, pa_operation* operation, Done done) {
    if (operation == nullptr) return false;
    const bool finished = connection.waitUntil(done, timeout);
    if (!finished) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return finished;
}

}  // namespace

Result<std::shared_ptr<PulseConnection>, int> PulseAudioDeviceCatalog::connection() {
    if (connection_) {
        PulseConnection::Lock lock(*connection_);
        if (connection_->isReady()) return connection_;
    }
    connection_.reset();
    auto connected = PulseConnection::connect(timeout);
    if (!connected) return connected.error().status;
    connection_ = connected.value();
    return connection_;
}

Result<std::vector<AudioDevice>, int> PulseAudioDeviceCatalog::inputDevices() {
    auto connected = connection();
    if (!connected) return connected.error();
    PulseConnection& server = *connected.value();
    PulseConnection::Lock lock(server);
    SourceList list{server.mainloop()};
    pa_operation* operation = pa_context_get_source_info_list(server.context(), onSourceInfo, &list);
    if (!finish(server, operation, [&] { return list.done; })) return operation == nullptr ? pa_context_errno(server.context()) : PA_ERR_TIMEOUT;
    if (list.failed) return pa_context_errno(server.context());
    return std::move(list.devices);
}

std::optional<std::string> PulseAudioDeviceCatalog::defaultInputDeviceUID() {
    auto connected = connection();
    if (!connected) return std::nullopt;
    PulseConnection& server = *connected.value();
    PulseConnection::Lock lock(server);
    ServerInfo info{server.mainloop()};
    if (!finish(server, pa_context_get_server_info(server.context(), onServerInfo, &info), [&] { return info.done; }))
        return std::nullopt;
    return info.defaultSource;
}

Result<Subscription, int> PulseAudioDeviceCatalog::watchDeviceChanges(std::function<void()> onChange) {
    auto connected = connection();
    if (!connected) return connected.error();
    std::shared_ptr<PulseConnection> server = connected.value();
    auto watcher = std::make_shared<Watcher>(Watcher{std::move(onChange)});
    {
        PulseConnection::Lock lock(*server);
        pa_context_set_subscribe_callback(server->context(), onSubscriptionEvent, watcher.get());
        Acknowledgement ack{server->mainloop()};
        pa_operation* operation =
            pa_context_subscribe(server->context(), PA_SUBSCRIPTION_MASK_SOURCE, onSuccess, &ack);
        if (!finish(*server, operation, [&] { return ack.done; }) || !ack.success) {
            pa_context_set_subscribe_callback(server->context(), nullptr, nullptr);
            return operation == nullptr || ack.done ? pa_context_errno(server->context()) : PA_ERR_TIMEOUT;
        }
    }
    return Subscription([server, watcher] {
        PulseConnection::Lock lock(*server);
        pa_context_set_subscribe_callback(server->context(), nullptr, nullptr);
        if (server->isReady())
            if (pa_operation* o = pa_context_subscribe(server->context(), PA_SUBSCRIPTION_MASK_NULL, nullptr, nullptr))
                pa_operation_unref(o);
    });
}

}  // namespace quonvera
