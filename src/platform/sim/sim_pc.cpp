// SimPc: the levers a test or the simulator has on the simulated PC.
#include "sim_world.h"

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

plat::Sid ntSid(std::vector<std::uint32_t> subAuthorities) {
    plat::Sid sid;
    sid.authority[5] = 5; // SECURITY_NT_AUTHORITY
    sid.subAuthorities = std::move(subAuthorities);
    return sid;
}

} // namespace

// ==================================================================== SimPc

SimMachine::SimMachine() : impl_(std::make_unique<Impl>()) {
    // An ordinary interactive user who is a member of Administrators.
    plat::Sid everyone;
    everyone.authority[5] = 1;
    everyone.subAuthorities = {0};
    impl_->tokenGroups = {
        {everyone, 0x7},
        {administratorsSid(), 0xF},
        {usersSid(), 0x7},
        {ntSid({4}), 0x7},                   // INTERACTIVE
        {ntSid({11}), 0x7},                  // Authenticated Users
        {ntSid({5, 0, 271828}), 0xC0000007}, // the logon session
    };
}

SimMachine::~SimMachine() = default;

SimPc::SimPc() = default;

SimPc::~SimPc() {
    endProcess();
    if (plat::current().registry == impl_->registryPort.get())
        plat::install({});
}

plat::Platform SimMachine::bundle() {
    plat::Platform p;
    p.registry = impl_->registryPort.get();
    p.files = impl_->filesPort.get();
    p.folders = impl_->foldersPort.get();
    p.threads = impl_->threadsPort.get();
    p.desktop = impl_->desktopPort.get();
    p.ui = impl_->uiPort.get();
    p.resources = impl_->resourcesPort.get();
    p.hid = impl_->hidPort.get();
    p.audio = impl_->audioPort.get();
    p.coreAudio = impl_->coreAudioPort;
    p.processes = impl_->processesPort.get();
    return p;
}

void SimMachine::install() {
    plat::install(bundle());
}

// ------------------------------------------------------------------ failures

void SimMachine::setFailureHandler(std::function<void(const std::string&)> handler) {
    Lock lk(impl_->m);
    impl_->failureHandler = std::move(handler);
}

std::vector<std::string> SimMachine::failures() const {
    Lock lk(impl_->m);
    return impl_->failures;
}

// ------------------------------------------------------------------ kernel objects, token

void SimMachine::holdNamedMutex(const String& name) {
    Lock lk(impl_->m);
    auto& mutex = impl_->namedMutexes[name];
    if (!mutex) {
        mutex = std::make_shared<MutexObject>();
        mutex->name = name;
    }
    mutex->heldElsewhere = true;
}

void SimMachine::releaseNamedMutex(const String& name) {
    Lock lk(impl_->m);
    auto it = impl_->namedMutexes.find(name);
    if (it == impl_->namedMutexes.end())
        return;
    it->second->heldElsewhere = false;
    if (it->second->handles == 0)
        impl_->namedMutexes.erase(it);
}

void SimMachine::failNamedMutex(const String& name, std::uint32_t error) {
    Lock lk(impl_->m);
    impl_->mutexFailures[name] = error;
}

void SimMachine::setResourceLibraryPresent(bool present) {
    Lock lk(impl_->m);
    impl_->libraryPresent = present;
}

bool SimMachine::setResourceBlob(std::vector<std::uint8_t> bytes) {
    Lock lk(impl_->m);
    impl_->resourceBlob = std::move(bytes);
    impl_->customBlob = true;
    std::string error;
    impl_->resourceSet =
        res::ResourceSet::fromBytes(impl_->resourceBlob.data(), impl_->resourceBlob.size(), error);
    impl_->resourcesParsed = true;
    return impl_->resourceSet.has_value();
}

void SimMachine::setTokenGroups(std::vector<plat::SidAndAttributes> groups) {
    Lock lk(impl_->m);
    impl_->tokenGroups = std::move(groups);
}

void SimMachine::setTokenUnavailable(bool unavailable) {
    Lock lk(impl_->m);
    impl_->tokenUnavailable = unavailable;
}

plat::Sid SimMachine::administratorsSid() {
    return ntSid({32, 544});
}
plat::Sid SimMachine::usersSid() {
    return ntSid({32, 545});
}
plat::Sid SimMachine::otherSid(std::uint32_t rid) {
    return ntSid({21, 1004336348, 1177238915, 682003330, rid});
}

void SimMachine::setTimersFail(bool fail) {
    Lock lk(impl_->m);
    impl_->timersFail = fail;
}

void SimMachine::setDevicePathSpelling(DevicePathSpelling spelling) {
    Lock lk(impl_->m);
    impl_->pathSpelling = spelling;
}

void SimMachine::setDeviceNotificationFails(bool fail) {
    Lock lk(impl_->m);
    impl_->deviceNotificationFails = fail;
}

void SimMachine::setCursorPos(plat::Point point) {
    Lock lk(impl_->m);
    impl_->cursor = point;
}

// ------------------------------------------------------------------ the program

void SimMachine::startProgram(std::function<int()> entry) {
    {
        Lock lk(impl_->m);
        if (impl_->mainThread && !impl_->mainThread->ended) {
            impl_->fail(lk, "simulated PC: startProgram while the program still runs");
            return;
        }
    }
    // A new process: what the previous run left behind must be gone first.
    bool previousRun = false;
    {
        Lock lk(impl_->m);
        previousRun = impl_->mainThread != nullptr;
    }
    if (previousRun) {
        impl_->joinAll(impl_->settleBound);
        Lock lk(impl_->m);
        impl_->ending = false;
        impl_->exitCode.reset();
    }
    impl_->startThread(
        [this, entry = std::move(entry)] {
            const int code = entry();
            Lock lk(impl_->m);
            impl_->exitCode = code;
            impl_->journal("program ended: " + std::to_string(code));
        },
        ThreadKind::Main, "main thread");
}

bool SimMachine::programRunning() const {
    Lock lk(impl_->m);
    return impl_->mainThread && !impl_->mainThread->ended;
}

std::optional<int> SimMachine::waitForExit(std::chrono::milliseconds bound) {
    Lock lk(impl_->m);
    if (!impl_->mainThread)
        return std::nullopt;
    if (!impl_->cv.wait_for(lk, bound, [&] { return impl_->mainThread->ended; })) {
        impl_->fail(lk, "simulated PC: the program did not end within " +
                            std::to_string(bound.count()) + " ms\nOn screen:\n" +
                            impl_->screenLocked());
        return std::nullopt;
    }
    return impl_->exitCode;
}

void SimMachine::endProcess(std::chrono::milliseconds bound) {
    {
        Lock lk(impl_->m);
        ThreadRec* self = impl_->current(lk);
        if (self->kind != ThreadKind::External) {
            impl_->fail(lk, "simulated PC: endProcess called from a thread of the program");
            return;
        }
    }
    impl_->joinAll(bound);
}

bool SimMachine::waitIdle(std::chrono::milliseconds bound) {
    Lock lk(impl_->m);
    const auto idle = [&] { return impl_->driver == nullptr && impl_->quiet(nullptr); };
    if (impl_->cv.wait_for(lk, bound, idle))
        return true;
    impl_->fail(lk, "simulated PC: not idle after " + std::to_string(bound.count()) +
                        " ms; still running: " + impl_->busyThreads(nullptr) + "\nOn screen:\n" +
                        impl_->screenLocked());
    return false;
}

// ------------------------------------------------------------------ virtual time

std::uint64_t SimMachine::nowMs() const {
    Lock lk(impl_->m);
    return impl_->now;
}

std::int64_t SimMachine::unixTime() const {
    return kStartUnixTime + static_cast<std::int64_t>(nowMs() / 1000);
}

void SimMachine::advance(std::uint32_t ms) {
    Lock lk(impl_->m);
    ThreadRec* self = impl_->current(lk);
    const std::uint64_t target = impl_->now + ms;
    // One driver at a time: a sleeping user-interface thread may be moving the clock now.
    const auto limit = std::chrono::steady_clock::now() + impl_->settleBound * 6;
    while (impl_->driver && !impl_->ending) {
        if (impl_->cv.wait_until(lk, limit) == std::cv_status::timeout && impl_->driver) {
            impl_->fail(lk, "simulated PC: advance: the clock stayed busy with " +
                                impl_->driver->label);
            return;
        }
    }
    impl_->driveTo(lk, self, target, nullptr);
    impl_->waitQuiet(lk, self, impl_->settleBound, "after advancing the clock");
}

void SimMachine::setAutoAdvance(bool on) {
    Lock lk(impl_->m);
    impl_->autoAdvance = on;
    // A user-interface thread asleep now may move the clock itself from here on.
    for (const auto& t : impl_->threads)
        if (t->blocked && t->blockKind == BlockKind::Sleep && impl_->drivesClock(t.get()))
            impl_->wake(t.get(), WakeReason::Woken);
}

void SimMachine::setSettleBound(std::chrono::milliseconds bound) {
    Lock lk(impl_->m);
    impl_->settleBound = bound;
}

// ------------------------------------------------------------------ journal

std::vector<std::string> SimMachine::takeJournal() {
    Lock lk(impl_->m);
    std::vector<std::string> out(impl_->journalLines.begin() +
                                     static_cast<std::ptrdiff_t>(impl_->journalTaken),
                                 impl_->journalLines.end());
    impl_->journalTaken = impl_->journalLines.size();
    return out;
}

std::vector<std::string> SimMachine::journal() const {
    Lock lk(impl_->m);
    return impl_->journalLines;
}

} // namespace sim
