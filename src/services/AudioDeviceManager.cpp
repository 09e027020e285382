#include "services/AudioDeviceManager.h"

#include "core/Log.h"

#include <algorithm>

namespace quonvera {

AudioDeviceManager::AudioDeviceManager(MainQueue& mainQueue, AudioDeviceCatalog& catalog)
    : mainQueue_(mainQueue), catalog_(catalog) {
    refreshDevices();
    startListening();
}

AudioDeviceManager::~AudioDeviceManager() {
    // Ends the listener before the members it reaches are gone.
    deviceListener_.reset();
}

void AudioDeviceManager::refreshDevices() {
    auto devices = catalog_.inputDevices();
    if (!devices) logLine("AudioDeviceManager: Failed to get devices: " + std::to_string(devices.error()));
    inputDevices_.set(devices ? std::move(devices.value()) : std::vector<AudioDevice>{});
    defaultInputDeviceUID_.set(catalog_.defaultInputDeviceUID());
}

std::optional<AudioDevice> AudioDeviceManager::deviceForUID(const std::string& uid) const {
    const auto& devices = inputDevices_.get();
    const auto found = std::ranges::find(devices, uid, &AudioDevice::uid);
    if (found == devices.end()) return std::nullopt;
    return *found;
}

void AudioDeviceManager::startListening() {
    std::weak_ptr<int> alive = lifetime_;
    MainQueue* queue = &mainQueue_;
    auto listener = catalog_.watchDeviceChanges([this, alive, queue] {
        queue->post([this, alive] {
            if (alive.lock()) refreshDevices();
        });
    });
    if (!listener) {
        logLine("AudioDeviceManager: Failed to add property listener: " + std::to_string(listener.error()));
        return;
    }
    deviceListener_.emplace(std::move(listener.value()));
}

}  // namespace quonvera
