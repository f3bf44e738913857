#include "Globals.h"

#include "Application.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplication.h"

#include <mutex>

namespace {

std::recursive_mutex holderLock; // recursive: a constructor below may reach globals()
std::unique_ptr<Globals> holder; // freed by the next start, endProcessObjects or at exit
std::atomic<Globals*> current{nullptr};

} // namespace

Globals::MakeCurrent::MakeCurrent(Globals* g) : self(g) {
    current.store(g, std::memory_order_release);
}

Globals::MakeCurrent::~MakeCurrent() {
    Globals* expected = self;
    current.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

// Members are constructed in declaration order, which is the program's start-up order.
Globals::Globals()
    : pcInfo(std::make_unique<PcInfo>()),
      application(std::make_unique<CKTRSystemTrayApplicationApp>()) {}

Globals::~Globals() = default;

Globals* currentGlobals() {
    return current.load(std::memory_order_acquire);
}

Globals& globals() {
    if (Globals* g = currentGlobals())
        return *g;
    // Code exercised outside a run (a unit test of one class, a benchmark) gets a set of
    // its own.
    std::lock_guard<std::recursive_mutex> lock(holderLock);
    if (!holder)
        holder = std::make_unique<Globals>();
    return *holder;
}

Globals& startProcessObjects() {
    std::lock_guard<std::recursive_mutex> lock(holderLock);
    holder.reset();
    // A new process starts with its own resources until it chooses the library.
    fw::setResourceModule(0);
    holder = std::make_unique<Globals>();
    return *holder;
}

void endProcessObjects() {
    std::lock_guard<std::recursive_mutex> lock(holderLock);
    holder.reset();
}
