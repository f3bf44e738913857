// Cost of one enumeration pass of the audio-device thread, its one-second sleep excluded:
// the set-up steps, the mixer count, and 16 devices (32 records with their emulated ones),
// each stored in the table under the audio-device mutex with its log line, on the
// simulated PC.
#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "Globals.h"
#include "sim_pc.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_EnumerationPass16Devices(benchmark::State& state) {
    sim::SimPc pc;
    for (int i = 0; i < 16; ++i) {
        sim::AudioDeviceConfig c;
        const std::string name = "Sound Card " + std::to_string(i % 8); // half are repeats
        c.description = plat::String(name.begin(), name.end());
        pc.addAudioDevice(c);
    }
    pc.install();
    startProcessObjects();
    pc.waitIdle(); // the thread's own first pass is done; it sleeps on the virtual clock
    bool changed = false;
    TransmitterEndpoints transmitters;
    for (auto _ : state) {
        if (!audioEnumerationPass(changed, transmitters))
            state.SkipWithError("the pass failed");
    }
    if (audioDeviceCount() != 16)
        state.SkipWithError("the table does not count 16 devices");
    state.SetItemsProcessed(state.iterations() * 16);
    pc.endProcess();
}
BENCHMARK(BM_EnumerationPass16Devices)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
