// Cost of one key event on its way through the hotkey monitor: translation of the X key event
// into the event model plus matching against the hotkey rules, for events that match nothing
// (ordinary typing and unrelated modifiers). Also counts heap allocations per event.
#include "app/contract/PermissionManagerInterface.h"
#include "core/ManualMainQueue.h"
#include "models/Settings.h"
#include "platform/fake/FakeKeyboardMonitor.h"
#include "platform/fake/InMemoryUserDefaults.h"
#include "platform/linux/XKeyTranslator.h"
#include "services/HotkeyManager.h"

#include <benchmark/benchmark.h>

#include <X11/keysym.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace quonvera {
namespace {

class TrustedPermissions final : public PermissionManagerInterface {
public:
    bool isAccessibilityTrusted(bool) override { return true; }
    bool microphoneAuthorized() override { return true; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override { completion(true); }
};

constexpr unsigned kKeyA = 38, kShiftL = 50, kControlL = 37;

XKeyboardMapping usMapping() {
    XKeyboardMapping mapping;
    mapping.minKeycode = 8;
    mapping.keysymsPerKeycode = 2;
    mapping.keysyms.assign(2 * 248, 0);
    auto set = [&](unsigned keycode, unsigned long keysym) { mapping.keysyms[2 * (keycode - 8)] = keysym; };
    set(kKeyA, XK_a);
    set(kShiftL, XK_Shift_L);
    set(kControlL, XK_Control_L);
    set(105, XK_Control_R);
    set(45, XK_k);
    set(55, XK_v);
    set(9, XK_Escape);
    return mapping;
}

struct Pipeline {
    explicit Pipeline(HotkeyMode mode, HotkeyConfig config = {}) {
        translator.setMapping(usMapping(), XK_Control_R);
        settings->hotkeyMode = mode;
        settings->hotkeyConfig = config;
        manager.setSettings(settings);
        manager.start();
    }

    ManualMainQueue queue;
    FakeKeyboardMonitor monitor;
    TrustedPermissions permissions;
    InMemoryUserDefaults defaults;
    std::shared_ptr<Settings> settings = std::make_shared<Settings>(defaults);
    HotkeyManager manager{queue, monitor, permissions};
    XKeyTranslator translator;
};

// Alternates press and release of `keycode`; one iteration is one event.
void run(benchmark::State& state, Pipeline& pipeline, unsigned keycode) {
    bool press = true;
    const std::size_t before = allocations.load();
    for (auto _ : state) {
        const auto event = pipeline.translator.translate(keycode, press, false);
        benchmark::DoNotOptimize(pipeline.manager.handleEvent(*event));
        press = !press;
    }
    state.counters["allocs_per_event"] =
        benchmark::Counter(static_cast<double>(allocations.load() - before), benchmark::Counter::kAvgIterations);
    if (pipeline.queue.runUntilIdle() != 0) state.SkipWithError("an event matched");
}

HotkeyConfig commandShiftK() {
    HotkeyConfig config;
    config.useCommand = config.useShift = true;
    config.keyCode = 40;
    return config;
}

HotkeyConfig controlOption() {
    HotkeyConfig config;
    config.useControl = config.useOption = true;
    return config;
}

void BM_TypingLetter_FnMode(benchmark::State& state) {
    Pipeline pipeline(HotkeyMode::fnKey);
    run(state, pipeline, kKeyA);
}
void BM_UnrelatedModifier_FnMode(benchmark::State& state) {
    Pipeline pipeline(HotkeyMode::fnKey);
    run(state, pipeline, kShiftL);
}
void BM_TypingLetter_KeyCombination(benchmark::State& state) {
    Pipeline pipeline(HotkeyMode::customModifiers, commandShiftK());
    run(state, pipeline, kKeyA);
}
void BM_UnrelatedModifier_KeyCombination(benchmark::State& state) {
    Pipeline pipeline(HotkeyMode::customModifiers, commandShiftK());
    run(state, pipeline, kControlL);
}
void BM_UnrelatedModifier_ModifierOnly(benchmark::State& state) {
    Pipeline pipeline(HotkeyMode::customModifiers, controlOption());
    run(state, pipeline, kShiftL);
}

BENCHMARK(BM_TypingLetter_FnMode);
BENCHMARK(BM_UnrelatedModifier_FnMode);
BENCHMARK(BM_TypingLetter_KeyCombination);
BENCHMARK(BM_UnrelatedModifier_KeyCombination);
BENCHMARK(BM_UnrelatedModifier_ModifierOnly);

}  // namespace
}  // namespace quonvera

BENCHMARK_MAIN();
