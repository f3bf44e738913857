// Cost of one WriteLog line with the product's sink (nothing captured, nothing written).
#include "Debug.h"
#include "Globals.h"
#include "ProcessObjects.h"
#include "ports.h"

#include <benchmark/benchmark.h>

namespace {

// Only the clock is used by the log.
class Clock : public plat::Threads {
public:
    plat::Handle createMutex(const plat::String*, bool, std::uint32_t& lastError) override {
        lastError = 0;
        return 0;
    }
    bool releaseMutex(plat::Handle) override { return false; }
    std::uint32_t waitForSingleObject(plat::Handle, std::uint32_t) override { return WAIT_FAILED; }
    bool closeHandle(plat::Handle) override { return false; }
    plat::Handle startThread(std::function<void()>) override { return 0; }
    bool processEnding() override { return false; }
    std::int64_t timeNow() override { return 1772694249 + (++ticks >> 20); }
    plat::LocalTime localTime() override { return {2026, 3, 5, 7, 4, 9}; }
    std::uint64_t tickCount() override { return ticks; }
    void sleep(std::uint32_t) override {}

private:
    std::uint64_t ticks = 0;
};

Clock clock;

void installClock() {
    plat::Platform bundle;
    bundle.threads = &clock;
    plat::install(bundle);
    startProcessObjects();
    setLogCapture(nullptr);
}

// A method-trace line, the most frequent kind.
void BM_WriteLogTraceLine(benchmark::State& state) {
    installClock();
    for (auto _ : state)
        WriteLog(u"PcInfo::getPlaybackDevice -- Method Entry.", LogLevel::Trace);
    state.counters["per_line"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WriteLogTraceLine);

// A caller that formats nothing but passes a long text.
void BM_WriteLogLongMessage(benchmark::State& state) {
    installClock();
    const plat::String message(200, u'x');
    for (auto _ : state)
        WriteLog(message, LogLevel::Log);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteLogLongMessage);

void BM_TraceEntryHelper(benchmark::State& state) {
    installClock();
    for (auto _ : state)
        traceEntry(u"CKTRSystemTrayApplicationDlg::OnInitDialog");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceEntryHelper);

} // namespace

BENCHMARK_MAIN();
