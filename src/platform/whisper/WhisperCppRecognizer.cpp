#include "platform/whisper/WhisperCppRecognizer.h"

#include "core/Log.h"
#include "services/WhisperModelCatalog.h"

#include <sndfile.h>
#include <whisper.h>

#include <algorithm>
#include <cmath>
#include <future>
#include <thread>

namespace quonvera {
namespace {

constexpr int kSampleRate = WHISPER_SAMPLE_RATE;

bool stopRequested(void* data) { return static_cast<std::stop_token*>(data)->stop_requested(); }

bool keepEncoding(whisper_context*, whisper_state*, void* data) { return !stopRequested(data); }

int defaultThreadCount() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

// The recognizer's defaults: greedy decoding, English, no carried context between calls (each
// call is a whole recording or a whole streaming window), nothing printed.
whisper_full_params defaultParameters() {
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = defaultThreadCount();
    params.no_context = true;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_timestamps = false;
    params.print_special = false;
    return params;
}

// How decoding options map onto whisper.cpp:
//   task                        -> translate (false for transcribe)
//   language / detect language  -> language ("en"), detect_language
//   verbose                     -> print_progress, print_realtime, print_timestamps
//   temperature, +0.2 per fallback, at most 5 fallbacks
//                               -> temperature 0, temperature_inc 0.2; whisper.cpp falls back
//                                  while the temperature stays at or below 1.0: 0.2 ... 1.0 are the
//                                  five fallbacks
//   sample length 224 tokens    -> no parameter: whisper.cpp samples at most n_text_ctx/2 - 4 (220)
//                                  tokens per window, the nearest it offers
//   top-k 5                     -> greedy.best_of (candidates sampled at temperatures above 0)
//   prefill prompt and cache    -> always on in whisper.cpp (start, language and task tokens)
//   skip special tokens         -> print_special false; segment texts never hold special tokens
//   without timestamps          -> no_timestamps; word timestamps -> token_timestamps
//   maximum initial timestamp   -> max_initial_ts (none: 0, no limit)
//   maximum window seek, clip timestamps, window clip time
//                               -> offset_ms 0 and duration_ms 0: the whole buffer, no clipping;
//                                  whisper.cpp has no window clip time
//   prompt, prefix, suppressed tokens
//                               -> prompt_tokens, initial_prompt none; suppress_regex none;
//                                  whisper.cpp has no prefix tokens
//   suppress blank              -> suppress_blank
//   compression ratio threshold -> entropy_thold (whisper.cpp's stand-in for the same check)
//   log-probability threshold   -> logprob_thold
//   first-token log-probability threshold
//                               -> no parameter in whisper.cpp
//   no-speech threshold         -> no_speech_thold
//   concurrent workers          -> n_threads (0: the default, up to 4)
//   chunking none               -> one whisper_full call over the whole buffer
whisper_full_params parametersFor(const DecodingOptions& options) {
    whisper_full_params params = defaultParameters();
    params.translate = options.task == DecodingOptions::Task::translate;
    if (options.language) params.language = options.language->c_str();
    params.detect_language = options.detectLanguage;
    params.print_progress = options.verbose;
    params.print_realtime = false;
    params.print_timestamps = options.verbose;
    params.print_special = !options.skipSpecialTokens && options.verbose;
    params.temperature = options.temperature;
    params.temperature_inc = options.temperatureFallbackCount > 0 ? options.temperatureIncrementOnFallback : 0.0f;
    params.greedy.best_of = std::max(1, options.topK);
    params.no_timestamps = options.withoutTimestamps;
    params.token_timestamps = options.wordTimestamps;
    params.max_initial_ts = options.maxInitialTimestamp.value_or(0.0f);
    params.offset_ms = 0;
    params.duration_ms = 0;
    params.initial_prompt = nullptr;
    params.prompt_tokens = nullptr;
    params.prompt_n_tokens = 0;
    params.suppress_regex = nullptr;
    params.suppress_blank = options.suppressBlank;
    if (options.compressionRatioThreshold) params.entropy_thold = *options.compressionRatioThreshold;
    if (options.logProbThreshold) params.logprob_thold = *options.logProbThreshold;
    if (options.noSpeechThreshold) params.no_speech_thold = *options.noSpeechThreshold;
    if (options.concurrentWorkerCount > 0) params.n_threads = options.concurrentWorkerCount;
    params.single_segment = false;
    return params;
}

// Reads a sound file as 16000 Hz mono samples (recordings already are; others are mixed down
// and resampled linearly).
Result<std::vector<float>, RecognizerError> readSamples(const std::filesystem::path& file) {
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    if (!sound) return RecognizerError::withMessage("Cannot read " + file.string() + ": " + sf_strerror(nullptr));
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t frames = sf_readf_float(sound, interleaved.data(), info.frames);
    sf_close(sound);
    std::vector<float> mono(static_cast<std::size_t>(std::max<sf_count_t>(frames, 0)));
    for (std::size_t i = 0; i < mono.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c) sum += interleaved[i * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(c)];
        mono[i] = sum / static_cast<float>(info.channels);
    }
    if (info.samplerate == kSampleRate || mono.empty()) return mono;
    const double step = static_cast<double>(info.samplerate) / kSampleRate;
    std::vector<float> resampled(static_cast<std::size_t>(static_cast<double>(mono.size()) / step));
    for (std::size_t i = 0; i < resampled.size(); ++i) {
        const double position = static_cast<double>(i) * step;
        const auto index = static_cast<std::size_t>(position);
        const double fraction = position - static_cast<double>(index);
        const float next = index + 1 < mono.size() ? mono[index + 1] : mono[index];
        resampled[i] = static_cast<float>(mono[index] * (1.0 - fraction) + next * fraction);
    }
    return resampled;
}

RecognizerError cancelled() { return RecognizerError::withMessage("Cancelled"); }

}  // namespace

Result<std::shared_ptr<WhisperCppRecognizer>, RecognizerError> WhisperCppRecognizer::load(
    const std::filesystem::path& modelFile, bool prewarm, std::stop_token stopToken) {
    whisper_context_params contextParams = whisper_context_default_params();
    whisper_context* context = whisper_init_from_file_with_params(modelFile.c_str(), contextParams);
    if (!context) {
        RecognizerError error = RecognizerError::withMessage("Cannot load the speech model " + modelFile.filename().string());
        error.details = "whisper.cpp could not load " + modelFile.string() + " (see its log above)";
        return error;
    }
    std::shared_ptr<WhisperCppRecognizer> recognizer(new WhisperCppRecognizer(context));
    if (prewarm) {
        auto warmUp = recognizer->run(std::vector<float>(kSampleRate, 0.0f), nullptr, stopToken);
        if (!warmUp.ok()) return warmUp.error();
    }
    return recognizer;
}

WhisperCppRecognizer::WhisperCppRecognizer(whisper_context* context)
    : context_(context), decoder_([this](std::stop_token stopToken) { decodeJobs(stopToken); }) {}

WhisperCppRecognizer::~WhisperCppRecognizer() {
    decoder_.request_stop();
    decoder_.join();
    whisper_free(context_);
}

void WhisperCppRecognizer::decodeJobs(std::stop_token stopToken) {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            if (!jobAdded_.wait(lock, stopToken, [&] { return !jobs_.empty(); })) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

RecognitionResult WhisperCppRecognizer::transcribeFile(const std::filesystem::path& audioFile, std::stop_token stopToken) {
    auto samples = readSamples(audioFile);
    if (!samples.ok()) return samples.error();
    return run(samples.value(), nullptr, stopToken);
}

RecognitionResult WhisperCppRecognizer::transcribeSamples(const std::vector<float>& samples, const DecodingOptions& options,
                                                          std::stop_token stopToken) {
    return run(samples, &options, stopToken);
}

RecognitionResult WhisperCppRecognizer::run(const std::vector<float>& samples, const DecodingOptions* options,
                                            std::stop_token stopToken) {
    if (samples.empty()) return std::vector<RecognitionSegment>{};
    std::packaged_task<RecognitionResult()> job([&] { return decode(samples, options, stopToken); });
    auto result = job.get_future();
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back([&job] { job(); });
    }
    jobAdded_.notify_one();
    return result.get();
}

RecognitionResult WhisperCppRecognizer::decode(const std::vector<float>& samples, const DecodingOptions* options,
                                               std::stop_token stopToken) {
    if (stopToken.stop_requested()) return cancelled();
    whisper_full_params params = options ? parametersFor(*options) : defaultParameters();
    params.abort_callback = &stopRequested;
    params.abort_callback_user_data = &stopToken;
    params.encoder_begin_callback = &keepEncoding;
    params.encoder_begin_callback_user_data = &stopToken;
    const int status = whisper_full(context_, params, samples.data(), static_cast<int>(samples.size()));
    if (stopToken.stop_requested()) return cancelled();
    if (status != 0) return RecognizerError::withMessage("whisper.cpp failed to transcribe (status " + std::to_string(status) + ")");
    std::vector<RecognitionSegment> segments;
    const int count = whisper_full_n_segments(context_);
    for (int i = 0; i < count; ++i) segments.push_back({whisper_full_get_segment_text(context_, i)});
    return segments;
}

WhisperCppRecognizerFactory::WhisperCppRecognizerFactory(std::filesystem::path modelFolder, std::string repositoryBaseUrl,
                                                         std::shared_ptr<ModelDownloaderInterface> downloader)
    : modelFolder_(std::move(modelFolder)),
      repositoryBaseUrl_(std::move(repositoryBaseUrl)),
      downloader_(std::move(downloader)) {}

Result<std::shared_ptr<OnDeviceRecognizer>, RecognizerError> WhisperCppRecognizerFactory::create(
    const RecognizerConfiguration& configuration, std::stop_token stopToken) {
    std::lock_guard lock(mutex_);
    const auto file = ggmlModelFile(configuration.modelIdentifier);
    if (!file) return RecognizerError::withMessage("Unknown speech model " + configuration.modelIdentifier);
    const auto path = modelFolder_ / file->fileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        if (!configuration.downloadIfMissing) return RecognizerError::withMessage("The speech model " + file->fileName + " is not downloaded");
        const ModelDownload download{repositoryBaseUrl_ + "/" + file->fileName, path, file->size, file->sha256};
        auto downloaded = downloader_->download(download, stopToken);
        if (!downloaded.ok()) return RecognizerError::withMessage(downloaded.error());
    }
    if (stopToken.stop_requested()) return cancelled();
    if (!configuration.verboseLogging) whisper_log_set([](ggml_log_level, const char*, void*) {}, nullptr);
    auto recognizer = WhisperCppRecognizer::load(path, configuration.prewarm, stopToken);
    if (!recognizer.ok()) return recognizer.error();
    return std::shared_ptr<OnDeviceRecognizer>(recognizer.value());
}

}  // namespace quonvera
