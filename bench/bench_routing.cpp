// getPlaybackDevice for each kind of target on the simulated PC with a full device table.
#include "AudioDevices.h"
#include "Globals.h"
#include "PcInfo.h"
#include "ProcessObjects.h"
#include "sim_pc.h"
#include "text.h"

#include <benchmark/benchmark.h>

namespace {

// An audio port whose enumeration reports nothing and whose mixer count is the table's, so
// that the audio thread keeps the table the benchmark made.
class TableAudio final : public plat::Audio {
public:
    plat::Module loadDsound() override { return 1; }
    bool hasDllGetClassObject(plat::Module) override { return true; }
    plat::Handle getClassFactory(plat::Module) override { return 1; }
    plat::Handle createPropertySet(plat::Handle) override { return 2; }
    bool enumerateDevices(plat::Handle,
                          const std::function<bool(const plat::DsDeviceDescription&)>&) override {
        return true;
    }
    void release(plat::Handle) override {}
    void freeDsound(plat::Module) override {}
    std::uint32_t mixerGetNumDevs() override { return 8; }
    bool mixerGetProductName(std::uint32_t, plat::String&) override { return false; }
};

struct Machine {
    TableAudio audio;
    sim::SimPc pc;
    PcInfo* info = nullptr;

    Machine() {
        plat::Platform bundle = pc.bundle();
        bundle.audio = &audio;
        plat::install(bundle);
        info = startProcessObjects().pcInfo.get();
        pc.waitIdle();
        storeDeviceEntry(0, AudioDeviceEntry{0, kNullGuid, kDefaultAudioDeviceName, u""});
        for (int i = 1; i <= 8; ++i) {
            const plat::String n = plat::String(1, static_cast<char16_t>(u'0' + i));
            storeDeviceEntry(i, AudioDeviceEntry{static_cast<std::uint32_t>(i - 1),
                                                 u"{0000000" + n + u"-0000-0000-0000-000000000000}",
                                                 u"Card " + n, u"Wave " + n});
        }
        globals().audioDevices->count = 8;
        pc.setString(plat::HKCU, u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\", u"Playback", u"Wave 5");
        pc.setString(plat::HKCU, u"Software\\Microsoft\\MediaPlayer\\Preferences\\", u"DefaultAudioDevice",
                     u"{00000003-0000-0000-0000-000000000000}");
        pc.setDword(plat::HKCU, u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\", u"DefaultMixer", 0);
        pc.setDword(plat::HKCU, u"SOFTWARE\\MusicMatch\\MusicMatch Jukebox\\4.0\\PlayUI\\", u"MixerControl", 4);
        sim::PlayerConfig winamp;
        winamp.name = u"Winamp";
        winamp.winampIni = "outname=out_ds.dll\n[out_ds]\ncfg_dev2=06000000000000000000000000000000\n" +
                           sim::typicalWinampIni();
        pc.installPlayer(winamp);
    }
    ~Machine() {
        pc.endProcess();
        plat::install({});
    }
};

void run(benchmark::State& state, const char16_t* target, const char16_t* expected) {
    Machine machine;
    for (auto _ : state) {
        plat::String device = machine.info->getPlaybackDevice(target);
        if (device != expected)
            state.SkipWithError(("unexpected device " + plat::toUtf8(device)).c_str());
        benchmark::DoNotOptimize(device);
    }
}

void SystemDefault(benchmark::State& state) { run(state, u"Default", u"Card 5"); }
void WindowsMediaPlayer(benchmark::State& state) { run(state, u"Windows Media Player", u"Card 3"); }
void Musicmatch(benchmark::State& state) { run(state, u"Musicmatch", u"Card 5"); }
void Winamp(benchmark::State& state) { run(state, u"Winamp", u"Card 6"); }

BENCHMARK(SystemDefault);
BENCHMARK(WindowsMediaPlayer);
BENCHMARK(Musicmatch);
BENCHMARK(Winamp);

} // namespace

BENCHMARK_MAIN();
