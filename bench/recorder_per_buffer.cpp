// The recorder's work for one captured buffer (1365 frames, 85.3 ms of audio): writing it to the
// file, the six levels, the streaming window (append, trim, and the copy every 0.5 s) and the
// hand-over to the main queue. The counter "percent_of_buffer_duration" is that work's share of
// the time the buffer lasts.
#include "core/ManualMainQueue.h"
#include "platform/fake/FakeAudioCaptureSource.h"
#include "platform/fake/FakeAudioDeviceCatalog.h"
#include "platform/fake/FakeDesktopNotifier.h"
#include "platform/fake/FakeDisplayAccessProbe.h"
#include "platform/fake/FakeSoundServerProbe.h"
#include "platform/fake/FakeUrlOpener.h"
#include "services/AudioDeviceManager.h"
#include "services/AudioEngine.h"
#include "services/AudioLevels.h"
#include "services/PermissionManager.h"
#include "services/SampleWindow.h"
#include "services/WavFileWriter.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace {
using namespace quonvera;
namespace fs = std::filesystem;

constexpr std::size_t frames = 1365;
constexpr double bufferSeconds = frames / 16000.0;

std::vector<float> speechLikeBuffer() {
    std::mt19937 random(42);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::vector<float> buffer(frames);
    for (float& sample : buffer) sample = noise(random);
    return buffer;
}

fs::path benchFolder() { return fs::temp_directory_path() / ("quonvera-bench-" + std::to_string(::getpid())); }

void addShareCounter(benchmark::State& state) {
    // Inverted rate: elapsed / (iterations x value) = time per buffer / (buffer duration / 100).
    state.counters["percent_of_buffer_duration"] = benchmark::Counter(
        bufferSeconds / 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RecorderBufferWhileStreaming(benchmark::State& state) {
    ManualMainQueue queue;
    FakeAudioCaptureSource capture;
    FakeAudioDeviceCatalog catalog;
    AudioDeviceManager devices(queue, catalog);
    FakeSoundServerProbe soundServer;
    FakeDisplayAccessProbe display;
    FakeDesktopNotifier notifier;
    FakeUrlOpener opener;
    PermissionManager permissions(soundServer, display, notifier, opener, "/dev/null");
    AudioEngine engine(queue, capture, devices, permissions, benchFolder());
    engine.enableStreaming();
    engine.startRecording();
    const auto buffer = speechLikeBuffer();
    // A full window first: from then on every append also trims.
    for (int i = 0; i < 400; ++i) {
        capture.deliver(buffer);
        queue.advance(seconds(bufferSeconds));
    }
    for (auto _ : state) {
        capture.deliver(buffer);
        queue.advance(seconds(bufferSeconds));  // runs the queued level and window deliveries
    }
    addShareCounter(state);
    engine.cancelRecording([](std::optional<fs::path> file) {
        if (file) fs::remove(*file);
    });
}
BENCHMARK(BM_RecorderBufferWhileStreaming)->UseRealTime();

void BM_WriteBuffer(benchmark::State& state) {
    fs::create_directories(benchFolder());
    const fs::path file = benchFolder() / "write.wav";
    auto writer = WavFileWriter::create(file);
    const auto buffer = speechLikeBuffer();
    for (auto _ : state) benchmark::DoNotOptimize(writer.value()->write(buffer));
    addShareCounter(state);
    writer.value()->close();
    fs::remove(file);
}
BENCHMARK(BM_WriteBuffer)->UseRealTime();

void BM_Levels(benchmark::State& state) {
    const auto buffer = speechLikeBuffer();
    for (auto _ : state) benchmark::DoNotOptimize(calculateLevels(buffer));
    addShareCounter(state);
}
BENCHMARK(BM_Levels);

void BM_WindowAppendAndCopyEvery6th(benchmark::State& state) {
    SampleWindow window(AudioEngine::maxStreamingSamples);
    const auto buffer = speechLikeBuffer();
    for (int i = 0; i < 400; ++i) window.append(buffer);
    int count = 0;
    for (auto _ : state) {
        window.append(buffer);
        if (++count % 6 == 0) benchmark::DoNotOptimize(window.copy());
    }
    addShareCounter(state);
}
BENCHMARK(BM_WindowAppendAndCopyEvery6th);

}  // namespace

BENCHMARK_MAIN();
