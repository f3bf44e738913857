// Costs of the Winamp hotkey passes over a large "winamp.ini": the scan and rewrite over
// in-memory text, and the whole run with its file passes on the simulated PC (the read and
// the rewrite, the copy written beside the original and swapped in). Measured at 1k, 10k
// and 100k lines; the per-line figure (items per second) should not change with size.
#include "Globals.h"
#include "ProcessObjects.h"
#include "WinampIniRead.h"
#include "sim_pc.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A file of `lines` lines: general settings, then the hotkey section with bindings up to the
// end, play/pause missing and global hotkeys off, so that a rewrite is due.
std::string largeIni(std::int64_t lines) {
    std::string text = "[Winamp]\r\noutname=out_wave.dll\r\n";
    std::int64_t written = 2;
    const std::int64_t settings = lines / 2;
    for (; written < settings; ++written)
        text += "setting" + std::to_string(written) + "=" + std::to_string(written * 7) + "\r\n";
    text += "[gen_hotkeys]\r\nnbkeys=0\r\nenabled=0\r\n";
    written += 3;
    for (std::int64_t i = 0; written < lines; ++i, written += 2) {
        const char* value = i == 0 ? "2224" : i == 1 ? "2225" : i == 2 ? "2226" : "3629";
        text += "action" + std::to_string(i) + "=ghkdc next\r\nhotkey" + std::to_string(i) + "=" +
                value + "\r\n";
    }
    return text;
}

void BM_ScanAndRewriteText(benchmark::State& state) {
    const std::string text = largeIni(state.range(0));
    for (auto _ : state) {
        const winampini::HotkeyScan scan = winampini::scanText(text);
        std::string out = winampini::rewriteText(text, scan);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ScanAndRewriteText)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN);

// The whole run on the simulated PC: read the directory, scan the file, write "temp.ini",
// flush it and replace the original.
void BM_WinampIniReadOnSimulatedPc(benchmark::State& state) {
    sim::SimPc pc;
    pc.install();
    startProcessObjects();
    const plat::String ini = u"C:\\Program Files\\Winamp\\winamp.ini";
    pc.setString(plat::HKCU, u"Software\\Winamp\\", u"", u"C:\\Program Files\\Winamp");
    const std::string text = largeIni(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        pc.writeFile(ini, text); // the previous run fixed it
        state.ResumeTiming();
        WinampIniRead run;
        if (run.outcome() != WinampIniRead::Outcome::Rewritten)
            state.SkipWithError("the file was not rewritten");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
    pc.endProcess();
    plat::install({});
    endProcessObjects();
}
BENCHMARK(BM_WinampIniReadOnSimulatedPc)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
