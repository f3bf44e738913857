// Building the advanced tray menu on the simulated PC, from the click to the menu on screen
// and closed again: MenuOpening to the transmitter, the lists, the items, the tracking (the
// scripted user closes it at once) and the destruction. The whole program runs with 16
// paired devices, every deep-integration player the catalogue knows (three) and ten playback
// devices; the benchmark's thread builds the menu as the controller's thread would.
#include "Globals.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "TrayMenu.h"
#include "sim_pc.h"
#include "text.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Machine {
    sim::SimPc pc;
    sim::TransmitterId tx = 0;
    plat::Hwnd controller = 0;

    Machine() {
        pc.install();
        sim::TransmitterConfig config;
        for (int i = 16; i >= 1; --i)
            config.database.push_back(
                {u"Receiver " + plat::fromAscii(std::to_string(i)),
                 {0x00, 0x0B, 0x7A, 0x01, 0x00, static_cast<std::uint8_t>(i)}});
        tx = pc.plugTransmitter(config); // its playback device is the tenth
        for (int i = 1; i <= 9; ++i) {
            sim::AudioDeviceConfig device;
            device.description = u"Speakers " + plat::fromAscii(std::to_string(i));
            pc.addAudioDevice(device);
        }
        for (const char16_t* name : {u"Windows Media Player", u"Musicmatch", u"Winamp"}) {
            sim::PlayerConfig player;
            player.name = name;
            pc.installPlayer(player);
        }
        pc.setString(plat::HKCU, u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\",
                     u"Enable Advanced Menu", u"True");
        pc.startProgram([] { return runProgram(); });
        pc.waitIdle();
        pc.advance(3000);
        pc.waitForTransmitterRead(tx);
        controller = pc.findWindowByTitle(u"QuorvaneAuravoSystemTrayApplication");
    }
    ~Machine() {
        pc.endProcess();
        plat::install({});
        endProcessObjects();
    }

    void closeNextMenu() {
        sim::ScriptEntry close;
        close.kind = sim::ModalKind::PopupMenu;
        close.act = [](sim::ModalContext& m) { m.pressEscape(); };
        pc.script(close);
    }
};

// Items of the menu's top level and of its submenus, separators included.
std::size_t itemCount(const std::vector<sim::MenuNode>& items) {
    std::size_t n = items.size();
    for (const auto& item : items)
        n += itemCount(item.items);
    return n;
}

void AdvancedTrayMenu(benchmark::State& state) {
    Machine machine;
    QuickRoutingMenu menu;
    // 16 receivers, separator, "Media Player Output" with three players of 10 devices, a
    // separator and "Default Audio Device" each, "Default Audio Device" with 10, then the six
    // items of menu 113.
    constexpr std::size_t expected = 16 + 1 + (1 + 3 * (1 + 12)) + (1 + 10) + 6;
    machine.closeNextMenu();
    menu.ShowAdvancedTrayMenu(machine.controller, {10, 10});
    const auto history = machine.pc.modalHistory();
    if (history.empty() || itemCount(history.back().menu) != expected) {
        state.SkipWithError(("the menu has " +
                             std::to_string(history.empty() ? 0 : itemCount(history.back().menu)) +
                             " items, not " + std::to_string(expected))
                                .c_str());
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        machine.closeNextMenu();
        machine.pc.takeJournal();
        state.ResumeTiming();
        benchmark::DoNotOptimize(menu.ShowAdvancedTrayMenu(machine.controller, {10, 10}));
    }
}

BENCHMARK(AdvancedTrayMenu)->UseRealTime()->Unit(benchmark::kMicrosecond)->Repetitions(9);

} // namespace

BENCHMARK_MAIN();
