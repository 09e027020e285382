#include "platform/fake/FakeAudioDeviceCatalog.h"

namespace quonvera {

Result<std::vector<AudioDevice>, int> FakeAudioDeviceCatalog::inputDevices() {
    if (listFailure) return *listFailure;
    return devices;
}

Result<Subscription, int> FakeAudioDeviceCatalog::watchDeviceChanges(std::function<void()> onChange) {
    if (watchFailure) return *watchFailure;
    *watcher_ = std::move(onChange);
    std::weak_ptr<std::function<void()>> weak = watcher_;
    return Subscription([weak] {
        if (auto watcher = weak.lock()) *watcher = nullptr;
    });
}

void FakeAudioDeviceCatalog::announceChange() {
    if (*watcher_) (*watcher_)();
}

}  // namespace quonvera
