// How long from AudioEngine::startRecording until the first captured sample reaches the
// recorder, against the running PulseAudio server (run under scripts/with-test-servers.sh).
// Prints each part: the microphone check, the synchronous start (file and capture stream),
// and the wait for the first fragment; median over 20 starts.
#include "core/ManualMainQueue.h"
#include "platform/fake/FakeDesktopNotifier.h"
#include "platform/fake/FakeDisplayAccessProbe.h"
#include "platform/fake/FakeSoundServerProbe.h"
#include "platform/fake/FakeUrlOpener.h"
#include "platform/linux/PulseAudioCaptureSource.h"
#include "platform/linux/PulseAudioDeviceCatalog.h"
#include "platform/linux/PulseSoundServerProbe.h"
#include "services/AudioDeviceManager.h"
#include "services/AudioEngine.h"
#include "services/PermissionManager.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

using namespace quonvera;
using Clock = std::chrono::steady_clock;

namespace {

// Notes when the first buffer of each capture arrives, then hands it on.
class TimedCaptureSource final : public AudioCaptureSource {
public:
    explicit TimedCaptureSource(AudioCaptureSource& inner) : inner_(inner) {}
    Result<std::unique_ptr<AudioCaptureStream>, AudioCaptureFailure> start(const std::optional<std::string>& device,
                                                                          BufferHandler onBuffer) override {
        firstBuffer = Clock::time_point{};
        firstFrames = 0;
        startCalled = Clock::now();
        auto result = inner_.start(device, [this, onBuffer](std::span<const float> samples) {
            if (firstBuffer.load() == Clock::time_point{}) {
                firstFrames = samples.size();
                firstBuffer = Clock::now();
            }
            onBuffer(samples);
        });
        startReturned = Clock::now();
        return result;
    }
    std::atomic<Clock::time_point> firstBuffer{};
    std::atomic<std::size_t> firstFrames{0};
    Clock::time_point startCalled;
    Clock::time_point startReturned;

private:
    AudioCaptureSource& inner_;
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    ManualMainQueue queue;
    PulseAudioCaptureSource pulse;
    TimedCaptureSource capture(pulse);
    PulseAudioDeviceCatalog catalog;
    AudioDeviceManager devices(queue, catalog);
    PulseSoundServerProbe soundServer;
    FakeDisplayAccessProbe display;
    FakeDesktopNotifier notifier;
    FakeUrlOpener opener;
    PermissionManager permissions(soundServer, display, notifier, opener, "/dev/null");
    const auto folder = std::filesystem::temp_directory_path() / "quonvera-latency";
    AudioEngine engine(queue, capture, devices, permissions, folder);

    std::vector<double> total, check, startCall, firstFragment;
    for (int run = 0; run < 21; ++run) {
        const auto t0 = Clock::now();
        engine.startRecording();
        const auto t1 = Clock::now();
        while (capture.firstBuffer.load() == Clock::time_point{} && Clock::now() - t0 < std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto first = capture.firstBuffer.load();
        queue.advance(seconds(0.5));
        engine.cancelRecording([](std::optional<std::filesystem::path> file) {
            if (file) std::filesystem::remove(*file);
        });
        queue.runUntilIdle();
        if (run == 0) continue;  // the first start also connects to the server
        total.push_back(ms(first - t0));
        check.push_back(ms(capture.startCalled - t0));
        startCall.push_back(ms(t1 - t0));
        firstFragment.push_back(ms(first - t1));
        std::printf("start %2d: %.1f ms (check+file %.1f, stream ready %.1f, first fragment of %zu frames %.1f)\n", run,
                    ms(first - t0), ms(capture.startCalled - t0), ms(capture.startReturned - capture.startCalled),
                    capture.firstFrames.load(), ms(first - t1));
    }
    std::printf("median over %zu starts: to first sample %.1f ms; microphone check + file %.1f ms; "
                "startRecording returns after %.1f ms; first fragment after that %.1f ms\n",
                total.size(), median(total), median(check), median(startCall), median(firstFragment));
    std::filesystem::remove_all(folder);
}
