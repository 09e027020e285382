#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "platform/fake/FakeAudioDeviceCatalog.h"
#include "services/AudioDeviceManager.h"

#include <gtest/gtest.h>
#include <thread>

namespace quonvera {
namespace {

const AudioDevice builtIn{1, "alsa_input.pci-0000_00_1f.3.analog-stereo", "Built-in Audio Analog Stereo"};
const AudioDevice usb{9, "alsa_input.usb-Blue_Yeti-00.analog-stereo", "Yeti Stereo Microphone"};

TEST(AudioDeviceManagerTest, PublishesTheDevicesAndTheDefaultAtCreation) {
    ManualMainQueue queue;
    FakeAudioDeviceCatalog catalog;
    catalog.devices = {builtIn, usb};
    catalog.defaultUID = builtIn.uid;
    AudioDeviceManager manager(queue, catalog);
    EXPECT_EQ(manager.inputDevices().get(), (std::vector<AudioDevice>{builtIn, usb}));
    EXPECT_EQ(manager.defaultInputDeviceUID().get(), builtIn.uid);
    EXPECT_TRUE(catalog.isWatched());
    EXPECT_EQ(manager.deviceForUID(usb.uid), usb);
    EXPECT_EQ(manager.deviceForUID("nothing"), std::nullopt);
}

TEST(AudioDeviceManagerTest, WithOnlyOutputsTheListIsEmptyButTheDefaultIsStillPublished) {
    ManualMainQueue queue;
    FakeAudioDeviceCatalog catalog;
    catalog.defaultUID = "auto_null.monitor";
    AudioDeviceManager manager(queue, catalog);
    EXPECT_TRUE(manager.inputDevices().get().empty());
    EXPECT_EQ(manager.defaultInputDeviceUID().get(), "auto_null.monitor");
}

TEST(AudioDeviceManagerTest, DeviceChangesRefreshOnTheMainQueue) {
    ManualMainQueue queue;
    FakeAudioDeviceCatalog catalog;
    catalog.devices = {builtIn};
    catalog.defaultUID = builtIn.uid;
    AudioDeviceManager manager(queue, catalog);
    int updates = 0;
    auto subscription = manager.inputDevices().subscribe([&](const auto&) { ++updates; }, Delivery::skipCurrent);

    catalog.devices.push_back(usb);
    std::thread serverThread([&] { catalog.announceChange(); });
    serverThread.join();
    EXPECT_EQ(manager.inputDevices().get().size(), 1u);  // not yet: only the main queue refreshes
    queue.runUntilIdle();
    EXPECT_EQ(manager.inputDevices().get(), (std::vector<AudioDevice>{builtIn, usb}));
    EXPECT_EQ(updates, 1);

    catalog.devices = {builtIn};
    catalog.defaultUID = std::nullopt;
    catalog.announceChange();
    queue.runUntilIdle();
    EXPECT_EQ(manager.deviceForUID(usb.uid), std::nullopt);
    EXPECT_EQ(manager.defaultInputDeviceUID().get(), std::nullopt);
}

TEST(AudioDeviceManagerTest, AUidListedTwiceFindsTheFirst) {
    ManualMainQueue queue;
    FakeAudioDeviceCatalog catalog;
    catalog.devices = {{3, "same", "First"}, {4, "same", "Second"}};
    AudioDeviceManager manager(queue, catalog);
    EXPECT_EQ(manager.deviceForUID("same")->name, "First");
}

TEST(AudioDeviceManagerTest, FailuresAreLoggedAndLeaveAnEmptyListOrNoListener) {
    ManualMainQueue queue;
    FakeAudioDeviceCatalog catalog;
    catalog.listFailure = 6;
    catalog.watchFailure = 1;
    catalog.defaultUID = builtIn.uid;
    LogCapture log;
    AudioDeviceManager manager(queue, catalog);
    EXPECT_TRUE(manager.inputDevices().get().empty());
    EXPECT_EQ(manager.defaultInputDeviceUID().get(), builtIn.uid);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"AudioDeviceManager: Failed to get devices: 6",
                                                     "AudioDeviceManager: Failed to add property listener: 1"}));
    EXPECT_FALSE(catalog.isWatched());
}

TEST(AudioDeviceManagerTest, ARefreshQueuedForADestroyedManagerDoesNothing) {
    ManualMainQueue queue;
    FakeAudioDeviceCatalog catalog;
    {
        auto manager = std::make_unique<AudioDeviceManager>(queue, catalog);
        catalog.announceChange();
    }
    EXPECT_FALSE(catalog.isWatched());
    catalog.listFailure = 1;  // a refresh would log
    LogCapture log;
    queue.runUntilIdle();
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace quonvera
