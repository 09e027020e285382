// Building the upload form of a 30-second recording against just reading the recording.
// Both read the same file from the page cache; the form should cost little more than the read,
// because the recording's bytes are read straight into the body and copied nowhere else.
// "allocated/file" counts every byte allocated per iteration relative to the file's size.
#include "services/TranscriptionFormBody.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<size_t> allocatedBytes{0};

}  // namespace

// Counting replacements of the global allocation functions; GCC cannot see that they pair up.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    allocatedBytes += size;
    if (void* memory = std::malloc(size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }

namespace {

const std::string boundary = "0E984725-C51C-4BF4-9960-E1C80E27ABA0";

const std::filesystem::path& recording() {
    static const std::filesystem::path path = [] {
        auto file = std::filesystem::temp_directory_path() / "quonvera_bench_recording_30s.wav";
        SF_INFO info{};
        info.samplerate = 16000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
        std::vector<float> samples(16000 * 30);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.3f * std::sin(static_cast<float>(i) * 0.07f);
        sf_writef_float(out, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(out);
        return file;
    }();
    return path;
}

std::string readWholeRecording(const std::filesystem::path& path) {
    std::string bytes(std::filesystem::file_size(path), '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    bytes.resize(got);
    return bytes;
}

void report(benchmark::State& state, size_t allocatedBefore) {
    const double fileSize = static_cast<double>(std::filesystem::file_size(recording()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fileSize));
    state.counters["allocated/file"] =
        static_cast<double>(allocatedBytes - allocatedBefore) / static_cast<double>(state.iterations()) / fileSize;
}

void BM_ReadRecording(benchmark::State& state) {
    const auto& path = recording();
    const size_t before = allocatedBytes;
    for (auto _ : state) benchmark::DoNotOptimize(readWholeRecording(path));
    report(state, before);
}
BENCHMARK(BM_ReadRecording)->Unit(benchmark::kMicrosecond);

void BM_BuildTranscriptionForm(benchmark::State& state) {
    const auto& path = recording();
    const size_t before = allocatedBytes;
    for (auto _ : state) benchmark::DoNotOptimize(quonvera::buildTranscriptionFormBody(path, boundary));
    report(state, before);
}
BENCHMARK(BM_BuildTranscriptionForm)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(recording());
    return 0;
}
