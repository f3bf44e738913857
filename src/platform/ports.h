// The platform seam: one small interface per Windows service the program uses, each
// shaped after the Win32 calls it stands for (same results, error codes and blocking
// behaviour) but in portable types. Two backends implement them: win32/ (the product)
// and sim/ (the simulated PC used by tests and the simulator).
#pragma once

#include "ports_devices.h"
#include "ports_system.h"
#include "ports_ui.h"
#include "ports_windows.h"

namespace plat {

// ---------------------------------------------------------------- the bundle
// A process installs one bundle at start. Ports are independent, so a bundle may mix
// backends (the real user interface with the virtual transmitter, for example).
struct Platform {
    Registry* registry = nullptr;
    Files* files = nullptr;
    Folders* folders = nullptr;
    Threads* threads = nullptr;
    Desktop* desktop = nullptr;
    UserInterface* ui = nullptr;
    Resources* resources = nullptr;
    Hid* hid = nullptr;
    Audio* audio = nullptr;
    CoreAudio* coreAudio = nullptr;
    Processes* processes = nullptr;
};

void install(const Platform& bundle);
const Platform& current();

inline Registry& registry() { return *current().registry; }
inline Files& files() { return *current().files; }
inline Folders& folders() { return *current().folders; }
inline Threads& threads() { return *current().threads; }
inline Desktop& desktop() { return *current().desktop; }
inline UserInterface& ui() { return *current().ui; }
inline Resources& resources() { return *current().resources; }
inline Hid& hid() { return *current().hid; }
inline Audio& audio() { return *current().audio; }
inline CoreAudio& coreAudio() { return *current().coreAudio; }
inline Processes& processes() { return *current().processes; }

} // namespace plat
