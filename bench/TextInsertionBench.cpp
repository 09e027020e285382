#include "core/Log.h"
#include "core/TextCharacters.h"
#include "platform/fake/FakeActiveWindow.h"
#include "platform/fake/FakeFocusedText.h"
#include "platform/fake/FakeKeystrokeSender.h"
#include "platform/fake/FakeUserNotifications.h"
#include "platform/fake/InMemoryClipboard.h"
#include "services/TextInsertionService.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace quonvera {
namespace {

// A 200-character dictated sentence with accents and emoji.
std::string transcript() {
    std::string text;
    while (characterCount(text) < 190) {
        text += "Cafe\u0301 cre\u0300me, d\u00E9j\u00E0 vu \U0001F44D\U0001F3FD ";
    }
    return text;
}

void characterCountOfATranscript(benchmark::State& state) {
    const std::string text = transcript();
    for (auto _ : state) {
        benchmark::DoNotOptimize(characterCount(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(characterCountOfATranscript);

// One streaming delta of five words into a field that already holds `range(0)` characters.
void streamingDeltaThroughAccessibility(benchmark::State& state) {
    FakeActiveWindow window;
    FakeFocusedText field;
    FakeKeystrokeSender keys;
    InMemoryClipboard clipboard;
    FakeUserNotifications notifications;
    TextInsertionService service({window, field, keys, clipboard, notifications},
                                 [](std::chrono::milliseconds) {});
    const std::string existing = firstCharacters(transcript() + transcript() + transcript(), state.range(0));
    const std::string delta = "and then we went home ";
    // The service logs each insertion; keep the log out of the results while measuring.
    std::fflush(stdout);
    const int results = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    for (auto _ : state) {
        field.value = existing;
        field.selection = TextRange{codePointCount(existing), 0};
        service.startStreamingSession();
        benchmark::DoNotOptimize(service.insertStreamingText(delta));
    }
    std::fflush(stdout);
    dup2(results, STDOUT_FILENO);
    close(results);
    close(devNull);
}
BENCHMARK(streamingDeltaThroughAccessibility)->Arg(0)->Arg(200)->Arg(500);

}  // namespace
}  // namespace quonvera

BENCHMARK_MAIN();
