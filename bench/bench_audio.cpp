// Cost of one enumeration pass of the audio-device thread, its one-second sleep excluded:
// the set-up steps, the mixer count, and 16 devices (32 records with their emulated ones),
// each stored in the table under the audio-device mutex with its log line, on the
// simulated PC; and the same when each device is recognised through its endpoint.
#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "Globals.h"
#include "ProcessObjects.h"
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

// The same on today's Windows when no DirectSound record shows a USB path, so that every
// device is looked up through its endpoint: with the hardware answered (kept from the first
// pass on), and with nothing answered (listed again in every pass, as under Wine).
void BM_EnumerationPass16EndpointsTodaysWindows(benchmark::State& state) {
    sim::SimPc pc;
    pc.setWindowsAudio(sim::WindowsAudio::CoreAudio);
    for (int i = 0; i < 16; ++i) {
        sim::AudioDeviceConfig c;
        const std::string name = "Sound Card " + std::to_string(i);
        c.description = plat::String(name.begin(), name.end());
        const std::string path = "\\\\?\\SWD#MMDEVAPI#{0.0.0.00000000}.{" + std::to_string(i) + "}";
        c.interfacePath = plat::String(path.begin(), path.end());
        c.hardwareRoute = state.range(0) ? sim::HardwareRoute::Topology : sim::HardwareRoute::None;
        pc.addAudioDevice(c);
    }
    pc.install();
    startProcessObjects();
    pc.waitIdle();
    bool changed = false;
    TransmitterEndpoints transmitters;
    for (auto _ : state) {
        if (!audioEnumerationPass(changed, transmitters))
            state.SkipWithError("the pass failed");
    }
    state.SetItemsProcessed(state.iterations() * 16);
    pc.endProcess();
}
BENCHMARK(BM_EnumerationPass16EndpointsTodaysWindows)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("hardware_answered")
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
