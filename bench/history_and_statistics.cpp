// Both operations run on the main thread and must stay well under a frame (16 ms). Their files
// are real (below $QUONVERA_BENCH_DIR or the current folder) and flushed to disk by a background
// writer, so the figures are the main thread's share; the flushed rewrite alone is measured too.
#include "core/AtomicFile.h"
#include "core/ManualMainQueue.h"
#include "models/AnalyticsRecord.h"
#include "models/TranscriptItemCoding.h"
#include "platform/AppDirectories.h"
#include "platform/fake/InMemoryUserDefaults.h"
#include "platform/linux/JsonFileUserDefaults.h"
#include "services/AnalyticsService.h"
#include "services/TranscriptHistoryService.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace quonvera {
namespace {

namespace fs = std::filesystem;

class ScratchFolder {
public:
    ScratchFolder() {
        const char* base = std::getenv("QUONVERA_BENCH_DIR");
        std::string pattern = (fs::path(base ? base : ".") / "quonvera-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
        path_ = fs::absolute(pattern);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const std::string kTypicalText =
    "Let's move the design review to Thursday afternoon and ask Priya to bring the updated mock-ups "
    "for the onboarding flow, including the accessibility notes.";

void addItemAndSaveWith100Entries(benchmark::State& state) {
    ScratchFolder folder;
    ManualMainQueue queue;
    TranscriptHistoryService history(queue, AppDirectories::under(folder.path()));
    for (int n = 0; n < 100; ++n) history.addItem(TranscriptItem::create(kTypicalText, true));
    queue.runUntilIdle();
    for (auto _ : state) {
        history.addItem(TranscriptItem::create(kTypicalText, true));
        queue.runUntilIdle();  // the queued block: insert, trim to 100, hand the file to the writer
    }
    history.flush();
    state.counters["entries"] = static_cast<double>(history.items.get().size());
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(history.fileURL()));
}
BENCHMARK(addItemAndSaveWith100Entries)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor of the above: the flushed rewrite of a 100-entry history file on its own.
void flushedRewriteOfA100EntryFile(benchmark::State& state) {
    ScratchFolder folder;
    std::vector<TranscriptItem> items;
    for (int n = 0; n < 100; ++n) items.push_back(TranscriptItem::create(kTypicalText, true));
    const std::string contents = encodeTranscriptItems(items);
    for (auto _ : state) writeFileAtomically(folder.path() / "transcript_history.json", contents, 0600);
}
BENCHMARK(flushedRewriteOfA100EntryFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void fillEventLog(UserDefaults& defaults) {
    std::vector<AnalyticsRecord> records(1000);
    for (std::size_t n = 0; n < records.size(); ++n) {
        records[n].event = AnalyticsEvent::transcriptionCompleted;
        records[n].timestamp = WallClock::now();
        if (n % 7 == 0) {
            records[n].event = AnalyticsEvent::permissionsGranted;
            records[n].metadata.emplace();
            (*records[n].metadata)["type"] = "microphone";
        }
    }
    defaults.setString(AnalyticsService::userDefaultsKey, encodeAnalyticsRecords(records));
}

// The real store: the user-defaults file, rewritten twice per event by its background writer.
void trackWith1000RecordsInTheDefaultsFile(benchmark::State& state) {
    ScratchFolder folder;
    JsonFileUserDefaults defaults(folder.path() / "defaults.json");
    fillEventLog(defaults);
    AnalyticsService analytics(defaults);
    for (auto _ : state) analytics.track(AnalyticsEvent::transcriptionStarted);
    defaults.flush();
    state.counters["log_bytes"] =
        static_cast<double>(defaults.stringForKey(AnalyticsService::userDefaultsKey).value_or("").size());
}
BENCHMARK(trackWith1000RecordsInTheDefaultsFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The service's own share: decoding, trimming and encoding the log, without the disk.
void trackWith1000RecordsInMemory(benchmark::State& state) {
    InMemoryUserDefaults defaults;
    fillEventLog(defaults);
    AnalyticsService analytics(defaults);
    for (auto _ : state) analytics.track(AnalyticsEvent::transcriptionStarted);
}
BENCHMARK(trackWith1000RecordsInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quonvera

BENCHMARK_MAIN();
