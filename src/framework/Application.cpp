#include "Application.h"

#include "ports.h"

#include <atomic>

namespace fw {

namespace {
// Read by background threads too (the reader thread loads the tray images).
std::atomic<plat::Module> chosenModule{0};
} // namespace

plat::Module resourceModule() {
    const plat::Module chosen = chosenModule.load(std::memory_order_acquire);
    return chosen ? chosen : plat::resources().programModule();
}

void setResourceModule(plat::Module module) {
    chosenModule.store(module, std::memory_order_release);
}

plat::String loadString(std::uint32_t id) {
    plat::String text;
    if (!plat::resources().loadString(resourceModule(), id, text))
        text.clear();
    return text;
}

} // namespace fw
