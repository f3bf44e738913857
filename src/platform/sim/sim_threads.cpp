// The Threads port: mutexes (named ones shared with "other processes"), waits on mutexes and
// threads, thread start, and the virtual clock.
#include "sim_world.h"

namespace sim {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

plat::LocalTime civilFromSeconds(std::int64_t t) {
    std::int64_t days = t / 86400;
    std::int64_t secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    plat::LocalTime lt;
    lt.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    lt.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    lt.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (lt.month <= 2));
    lt.hour = static_cast<int>(secs / 3600);
    lt.minute = static_cast<int>(secs / 60 % 60);
    lt.second = static_cast<int>(secs % 60);
    return lt;
}

} // namespace

// The machine is switched on at 2026-12-07 06:00:00 UTC; its time zone is UTC.
const std::int64_t kStartUnixTime = daysFromCivil(2026, 12, 7) * 86400 + 6 * 3600;

plat::LocalTime localTimeAt(std::int64_t unixTime) {
    return civilFromSeconds(unixTime);
}

namespace {

class ThreadsPort final : public plat::Threads {
public:
    explicit ThreadsPort(SimPc::Impl& w) : w_(w) {}

    Handle createMutex(const String* name, bool initialOwner, std::uint32_t& lastError) override {
        Lock lk(w_.m);
        ThreadRec* self = w_.current(lk);
        lastError = ERROR_SUCCESS;
        std::shared_ptr<MutexObject> mutex;
        // Kernel object names, unlike file and registry names, are case-sensitive.
        if (name && !name->empty()) {
            auto failure = w_.mutexFailures.find(*name);
            if (failure != w_.mutexFailures.end()) {
                lastError = failure->second;
                w_.mutexFailures.erase(failure);
                return 0;
            }
            auto it = w_.namedMutexes.find(*name);
            if (it != w_.namedMutexes.end()) {
                mutex = it->second;
                lastError = ERROR_ALREADY_EXISTS; // initialOwner is ignored then
            } else {
                mutex = std::make_shared<MutexObject>();
                mutex->name = *name;
                w_.namedMutexes[*name] = mutex;
            }
        } else {
            mutex = std::make_shared<MutexObject>();
        }
        if (initialOwner && lastError == ERROR_SUCCESS) {
            mutex->owner = self;
            mutex->recursion = 1;
        }
        ++mutex->handles;
        const Handle h = w_.nextHandle;
        w_.nextHandle += 4;
        KernelObject object;
        object.kind = ObjectKind::Mutex;
        object.mutex = mutex;
        object.owner = w_.callerProcess(lk);
        w_.objects[h] = object;
        return h;
    }

    bool releaseMutex(Handle handle) override {
        Lock lk(w_.m);
        ThreadRec* self = w_.current(lk);
        auto it = w_.objects.find(handle);
        if (it == w_.objects.end() || it->second.kind != ObjectKind::Mutex)
            return false;
        MutexObject& mutex = *it->second.mutex;
        if (mutex.owner != self)
            return false; // ERROR_NOT_OWNER
        if (--mutex.recursion == 0) {
            mutex.owner = nullptr;
            wakeObjectWaiters();
        }
        return true;
    }

    std::uint32_t waitForSingleObject(Handle handle, std::uint32_t milliseconds) override {
        Lock lk(w_.m);
        ThreadRec* self = w_.current(lk);
        const bool timed = milliseconds != INFINITE;
        const std::uint64_t deadline = w_.now + milliseconds;
        for (;;) {
            auto it = w_.objects.find(handle);
            if (it == w_.objects.end())
                return WAIT_FAILED;
            const auto state = ready(it->second, self);
            if (state == Ready::Invalid)
                return WAIT_FAILED;
            if (state == Ready::Yes)
                return acquire(it->second, self);
            if (timed && (w_.now >= deadline || w_.ending))
                return WAIT_TIMEOUT;
            // A timed wait of a thread that moves the clock is a sleep that may end early.
            if (timed && w_.drivesClock(self) && !w_.driver) {
                w_.driveTo(lk, self, deadline, [&] {
                    auto again = w_.objects.find(handle);
                    return again == w_.objects.end() || ready(again->second, self) != Ready::No;
                });
                continue;
            }
            self->wantsToDrive = timed && w_.drivesClock(self);
            w_.block(lk, self, BlockKind::ObjectWait,
                     timed ? std::optional<std::uint64_t>(deadline) : std::nullopt);
        }
    }

    bool closeHandle(Handle handle) override {
        Lock lk(w_.m);
        auto it = w_.objects.find(handle);
        if (it == w_.objects.end())
            return false;
        if (it->second.kind == ObjectKind::Mutex) {
            auto mutex = it->second.mutex;
            if (--mutex->handles == 0 && !mutex->heldElsewhere && !mutex->name.empty())
                w_.namedMutexes.erase(mutex->name);
        }
        w_.objects.erase(it);
        return true;
    }

    Handle startThread(std::function<void()> body) override {
        return w_.startThread(std::move(body), ThreadKind::Background, "");
    }

    bool processEnding() override {
        Lock lk(w_.m);
        return w_.ending;
    }

    std::int64_t timeNow() override {
        Lock lk(w_.m);
        return kStartUnixTime + static_cast<std::int64_t>(w_.now / 1000);
    }

    plat::LocalTime localTime() override { return localTimeAt(timeNow()); }

    std::uint64_t tickCount() override {
        Lock lk(w_.m);
        return w_.now;
    }

    void sleep(std::uint32_t milliseconds) override { w_.sleepFor(milliseconds); }

private:
    enum class Ready { Yes, No, Invalid };

    Ready ready(const KernelObject& object, const ThreadRec* self) const {
        switch (object.kind) {
        case ObjectKind::Mutex:
            return !object.mutex->owner || object.mutex->owner == self ? Ready::Yes : Ready::No;
        case ObjectKind::Thread:
            return object.thread->ended ? Ready::Yes : Ready::No;
        case ObjectKind::Process:
            return w_.processAlive(object.processId) ? Ready::No : Ready::Yes;
        default:
            return Ready::Invalid;
        }
    }

    std::uint32_t acquire(const KernelObject& object, ThreadRec* self) {
        if (object.kind != ObjectKind::Mutex)
            return WAIT_OBJECT_0;
        MutexObject& mutex = *object.mutex;
        if (mutex.owner == self) {
            ++mutex.recursion;
            return WAIT_OBJECT_0;
        }
        mutex.owner = self;
        mutex.recursion = 1;
        if (mutex.abandoned) {
            mutex.abandoned = false;
            return WAIT_ABANDONED;
        }
        return WAIT_OBJECT_0;
    }

    void wakeObjectWaiters() {
        for (const auto& t : w_.threads)
            if (t->blocked && t->blockKind == BlockKind::ObjectWait)
                w_.wake(t.get(), WakeReason::Woken);
    }

    SimPc::Impl& w_;
};

} // namespace

std::unique_ptr<plat::Threads> makeThreadsPort(SimPc::Impl& w) {
    return std::make_unique<ThreadsPort>(w);
}

} // namespace sim
