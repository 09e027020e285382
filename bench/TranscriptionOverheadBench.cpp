// Time of one file transcription through TranscriptionEngine and the whisper.cpp recognizer,
// against whisper.cpp called directly on the same file with the same model and parameters.
//
// Run: QUONVERA_BENCH_WHISPER_MODEL=<ggml model> QUONVERA_BENCH_AUDIO=<16 kHz WAVE file>
//      build/bench/bench_transcription_overhead

#include "core/BackgroundTasks.h"
#include "core/ManualMainQueue.h"
#include "models/Settings.h"
#include "platform/fake/InMemoryUserDefaults.h"
#include "platform/whisper/WhisperCppRecognizer.h"
#include "services/ModelDownloader.h"
#include "services/TranscriptionEngine.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <whisper.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace quonvera {
namespace {

std::filesystem::path environmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) {
        std::cerr << "set " << name << "\n";
        std::exit(2);
    }
    return value;
}

void BM_WhisperCppDirect(benchmark::State& state) {
    const auto model = environmentPath("QUONVERA_BENCH_WHISPER_MODEL");
    const auto audio = environmentPath("QUONVERA_BENCH_AUDIO");
    whisper_context* context = whisper_init_from_file_with_params(model.c_str(), whisper_context_default_params());
    // Warm up as the recognizer does when it is created: the first decoding of a context pays for
    // setting up its compute graphs.
    const std::vector<float> silence(16000, 0.0f);
    whisper_full(context, whisper_full_default_params(WHISPER_SAMPLING_GREEDY), silence.data(), static_cast<int>(silence.size()));
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* sound = sf_open(audio.c_str(), SFM_READ, &info);
        std::vector<float> samples(static_cast<std::size_t>(info.frames));
        sf_readf_float(sound, samples.data(), info.frames);
        sf_close(sound);
        whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
        params.n_threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
        params.no_context = true;
        params.print_progress = false;
        params.print_realtime = false;
        params.print_timestamps = false;
        whisper_full(context, params, samples.data(), static_cast<int>(samples.size()));
        std::string text;
        for (int i = 0; i < whisper_full_n_segments(context); ++i) text += whisper_full_get_segment_text(context, i);
        benchmark::DoNotOptimize(text);
        state.counters["characters"] = static_cast<double>(text.size());
    }
    whisper_free(context);
}

class Delegate final : public TranscriptionEngineDelegate {
public:
    void transcriptionEngineDidStartTranscription() override {}
    void transcriptionEngineDidComplete(const std::string& text) override {
        characters = text.size();
        done = true;
    }
    void transcriptionEngineDidFail(const TranscriptionError&) override { done = true; }
    void transcriptionEngineDidStartModelDownload() override {}
    void transcriptionEngineDidFinishModelDownload() override {}
    void transcriptionEngineDidReceivePartialText(const std::string&, const std::string&) override {}
    void transcriptionEngineDidReviseText(const std::string&, const std::string&) override {}
    bool done = false;
    std::size_t characters = 0;
};

class Unavailable final : public CloudTranscriptionServiceInterface {
public:
    Result<std::string, CloudTranscriptionError> transcribe(const std::filesystem::path&, std::stop_token) override {
        return CloudTranscriptionError{CloudTranscriptionError::Kind::offline, "", 0};
    }
    bool isConnected() const override { return false; }
};

void BM_TranscriptionEngine(benchmark::State& state) {
    const auto model = environmentPath("QUONVERA_BENCH_WHISPER_MODEL");
    const auto audio = environmentPath("QUONVERA_BENCH_AUDIO");
    const auto folder = std::filesystem::temp_directory_path() / "quonvera-bench-models";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(model, folder / "ggml-tiny.bin", std::filesystem::copy_options::overwrite_existing);
    const auto recording = folder / "recording.wav";

    ManualMainQueue queue;
    BackgroundTasks tasks(queue);
    InMemoryUserDefaults defaults;
    Settings settings(defaults);
    settings.whisperModel = WhisperModel::tiny;
    auto factory = std::make_shared<WhisperCppRecognizerFactory>(folder, "http://127.0.0.1:9", std::make_shared<ModelDownloader>());
    TranscriptionEngine engine(settings, queue, tasks, std::make_shared<Unavailable>(), factory);
    auto delegate = std::make_shared<Delegate>();
    engine.setDelegate(delegate);
    engine.startBackgroundDownload();
    if (!queue.waitFor([&] { return engine.isModelReady(); }, std::chrono::minutes(5))) {
        state.SkipWithError("the model did not load");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(audio, recording, std::filesystem::copy_options::overwrite_existing);
        delegate->done = false;
        state.ResumeTiming();
        engine.transcribe(recording);  // deletes the file when done
        queue.waitFor([&] { return delegate->done; }, std::chrono::minutes(5));
        state.counters["characters"] = static_cast<double>(delegate->characters);
    }
    std::filesystem::remove_all(folder);
}

BENCHMARK(BM_WhisperCppDirect)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
BENCHMARK(BM_TranscriptionEngine)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

}  // namespace
}  // namespace quonvera

BENCHMARK_MAIN();
