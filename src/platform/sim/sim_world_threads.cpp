// The world's threads and its clock: which thread is calling, blocking and waking, idle
// detection, moving virtual time to the next due event, and threads starting and ending.
#include "sim_world.h"

#include <algorithm>
#include <utility>

namespace sim {

// ==================================================================== threads

ThreadRec* SimPc::Impl::current(Lock&) {
    const auto id = std::this_thread::get_id();
    auto it = bySystemId.find(id);
    if (it != bySystemId.end())
        return it->second;
    auto rec = std::make_unique<ThreadRec>();
    rec->id = nextThreadId++;
    rec->kind = ThreadKind::External;
    rec->label = "external thread " + std::to_string(rec->id);
    rec->systemId = id;
    ThreadRec* raw = rec.get();
    threads.push_back(std::move(rec));
    bySystemId[id] = raw;
    return raw;
}

std::uint32_t SimPc::Impl::callerProcess(Lock& lk) {
    return current(lk)->kind == ThreadKind::External ? kOutsideProcessId
                                                     : SimPc::kProgramProcessId;
}

bool SimPc::Impl::drivesClock(const ThreadRec* t) const {
    return t->kind == ThreadKind::External || (t->kind == ThreadKind::Main && autoAdvance);
}

WakeReason SimPc::Impl::block(Lock& lk, ThreadRec* self, BlockKind kind,
                              std::optional<std::uint64_t> deadline) {
    // While the process ends, nothing that could wait for time or messages waits any more;
    // waits for a real event (a thread's end, a reply) still do.
    if (ending && (kind == BlockKind::Sleep || kind == BlockKind::MessageWait ||
                   kind == BlockKind::HungSend || deadline))
        return WakeReason::Ending;
    if (deadline && *deadline <= now)
        return WakeReason::Timeout;
    self->blocked = true;
    self->blockKind = kind;
    self->deadline = deadline;
    self->woken = false;
    self->wakeReason = WakeReason::None;
    cv.notify_all();
    cv.wait(lk, [&] { return self->woken; });
    self->blockKind = BlockKind::None;
    self->deadline.reset();
    self->wantsToDrive = false;
    return self->wakeReason;
}

void SimPc::Impl::wake(ThreadRec* t, WakeReason why) {
    if (!t || !t->blocked || t->woken)
        return;
    t->woken = true;
    t->wakeReason = why;
    t->blocked = false; // running from now on, before it is even scheduled
    cv.notify_all();
}

void SimPc::Impl::wakeForMessages(ThreadRec* t) {
    if (t && t->blocked &&
        (t->blockKind == BlockKind::MessageWait || t->blockKind == BlockKind::SendWait))
        wake(t, WakeReason::Woken);
}

bool SimPc::Impl::quiet(const ThreadRec* self) const {
    for (const auto& t : threads) {
        if (t.get() == self || t->ended || t->kind == ThreadKind::External)
            continue;
        if (!t->blocked)
            return false;
    }
    return true;
}

std::string SimPc::Impl::busyThreads(const ThreadRec* self) const {
    std::string s;
    for (const auto& t : threads) {
        if (t.get() == self || t->ended || t->kind == ThreadKind::External || t->blocked)
            continue;
        if (!s.empty())
            s += ", ";
        s += t->label;
    }
    return s;
}

bool SimPc::Impl::waitQuiet(Lock& lk, const ThreadRec* self, std::chrono::milliseconds bound,
                            const char* what) {
    const auto limit = std::chrono::steady_clock::now() + bound;
    while (!ending && !quiet(self)) {
        if (cv.wait_until(lk, limit) == std::cv_status::timeout && !ending && !quiet(self)) {
            fail(lk, std::string("simulated PC: ") + what + ": threads still running after " +
                         std::to_string(bound.count()) + " ms: " + busyThreads(self));
            return false;
        }
    }
    return true;
}

std::optional<std::uint64_t> SimPc::Impl::nextEvent() const {
    std::optional<std::uint64_t> next;
    auto consider = [&](std::uint64_t t) {
        if (!next || t < *next)
            next = t;
    };
    for (const auto& t : threads)
        if (!t->ended && t->blocked && t->deadline)
            consider(*t->deadline);
    for (const auto& timer : timers)
        consider(timer.due);
    return next;
}

void SimPc::Impl::fireDue() {
    for (const auto& t : threads)
        if (t->blocked && t->deadline && *t->deadline <= now)
            wake(t.get(), WakeReason::Timeout);
    // Timers due at the same moment fire in the order they were set.
    std::vector<Timer*> due;
    for (auto& timer : timers)
        if (timer.due <= now)
            due.push_back(&timer);
    std::sort(due.begin(), due.end(), [](const Timer* a, const Timer* b) {
        return a->due != b->due ? a->due < b->due : a->serial < b->serial;
    });
    for (Timer* timer : due) {
        while (timer->due <= now)
            timer->due += timer->interval;
        if (timer->pending)
            continue;
        const Window* w = window(timer->window);
        if (!w || !w->thread)
            continue;
        timer->pending = true;
        w->thread->queue.push_back({timer->window, WM_TIMER, timer->id, 0});
        wakeForMessages(w->thread);
    }
}

void SimPc::Impl::driveTo(Lock& lk, ThreadRec* self, std::uint64_t target,
                          const std::function<bool()>& stop) {
    driver = self;
    for (;;) {
        waitQuiet(lk, self, settleBound, "moving the clock");
        if (ending || (stop && stop()))
            break;
        const auto next = nextEvent();
        if (!next || *next > target) {
            now = std::max(now, target);
            break;
        }
        now = std::max(now, *next);
        fireDue();
    }
    driver = nullptr;
    // Sleepers that move the clock themselves waited for this driver; let them go on.
    for (const auto& t : threads)
        if (t->blocked && t->wantsToDrive)
            wake(t.get(), WakeReason::Woken);
    cv.notify_all();
}

void SimPc::Impl::sleepFor(std::uint32_t ms) {
    Lock lk(m);
    ThreadRec* self = current(lk);
    if (ms == 0 || ending)
        return;
    const std::uint64_t deadline = now + ms;
    while (!ending && now < deadline) {
        if (drivesClock(self) && !driver) {
            driveTo(lk, self, deadline, nullptr);
            continue;
        }
        self->wantsToDrive = drivesClock(self);
        block(lk, self, BlockKind::Sleep, deadline);
    }
}

Handle SimPc::Impl::startThread(std::function<void()> body, ThreadKind kind,
                                const std::string& label) {
    reapEndedThreads();
    Lock lk(m);
    auto rec = std::make_unique<ThreadRec>();
    ThreadRec* self = rec.get();
    self->id = nextThreadId++;
    self->kind = kind;
    self->label = label.empty() ? "thread " + std::to_string(self->id) : label;
    self->handle = nextHandle;
    nextHandle += 4;
    KernelObject object;
    object.kind = ObjectKind::Thread;
    object.thread = self;
    // The main thread's handle is its starter's (CreateProcess hands it to the shell).
    object.owner = kind == ThreadKind::Main ? kOutsideProcessId : SimPc::kProgramProcessId;
    objects[self->handle] = object;
    threads.push_back(std::move(rec));
    if (kind == ThreadKind::Main)
        mainThread = self;
    // The record exists (and counts as running) before the thread does, so a waitIdle right
    // after startThread cannot miss it.
    self->thread = std::thread([this, self, body = std::move(body)] {
        {
            Lock inner(m);
            self->systemId = std::this_thread::get_id();
            bySystemId[self->systemId] = self;
        }
        try {
            body();
        } catch (const std::exception& e) {
            Lock inner(m);
            fail(inner, self->label + " ended with an exception: " + e.what());
        } catch (...) {
            Lock inner(m);
            fail(inner, self->label + " ended with an exception");
        }
        threadEnded(self);
    });
    return self->handle;
}

void SimPc::Impl::threadEnded(ThreadRec* self) {
    Lock lk(m);
    // A mutex still owned by an ended thread is abandoned; the next waiter gets it.
    for (auto& [handle, object] : objects)
        if (object.kind == ObjectKind::Mutex && object.mutex->owner == self) {
            object.mutex->owner = nullptr;
            object.mutex->recursion = 0;
            object.mutex->abandoned = true;
        }
    for (auto& [name, mutex] : namedMutexes)
        if (mutex->owner == self) {
            mutex->owner = nullptr;
            mutex->recursion = 0;
            mutex->abandoned = true;
        }
    std::vector<Hwnd> owned;
    for (const auto& [hwnd, w] : windows)
        if (w->thread == self && w->parent == 0)
            owned.push_back(hwnd);
    for (Hwnd hwnd : owned) {
        if (const Window* w = window(hwnd))
            journal("window destroyed with its thread: " + narrow(w->className) + "/" +
                    narrow(w->title));
        destroyWindowLocked(hwnd);
    }
    for (auto& call : self->sends) {
        call->done = true;
        wake(call->sender, WakeReason::Woken);
    }
    self->sends.clear();
    self->queue.clear();
    self->ended = true;
    if (self == mainThread)
        beginEnding(lk);
    for (const auto& t : threads)
        if (t->blocked && t->blockKind == BlockKind::ObjectWait)
            wake(t.get(), WakeReason::Woken);
    cv.notify_all();
}

void SimPc::Impl::beginEnding(Lock&) {
    if (ending)
        return;
    ending = true;
    for (const auto& t : threads)
        if (t->blocked &&
            (t->blockKind == BlockKind::Sleep || t->blockKind == BlockKind::MessageWait ||
             t->blockKind == BlockKind::DeviceRead || t->blockKind == BlockKind::HungSend ||
             t->deadline))
            wake(t.get(), WakeReason::Ending);
    cv.notify_all();
}

void SimPc::Impl::reapEndedThreads() {
    std::vector<std::thread> done;
    {
        Lock lk(m);
        for (const auto& t : threads)
            if (t->ended && t->thread.joinable()) {
                bySystemId.erase(t->systemId);
                done.push_back(std::move(t->thread));
            }
    }
    for (auto& t : done)
        t.join();
    // A joined thread whose handle is closed is gone for good: its record goes, so that a
    // program starting threads for months does not slow every look at the threads.
    Lock lk(m);
    std::set<const ThreadRec*> referenced;
    for (const auto& [handle, object] : objects)
        if (object.kind == ObjectKind::Thread)
            referenced.insert(object.thread);
    threads.erase(std::remove_if(threads.begin(), threads.end(),
                                 [&](const std::unique_ptr<ThreadRec>& t) {
                                     return t->ended && !t->thread.joinable() &&
                                            t.get() != mainThread && !referenced.count(t.get());
                                 }),
                  threads.end());
}

void SimPc::Impl::joinAll(std::chrono::milliseconds bound) {
    {
        Lock lk(m);
        beginEnding(lk);
        const auto limit = std::chrono::steady_clock::now() + bound;
        auto allEnded = [&] {
            for (const auto& t : threads)
                if (t->kind != ThreadKind::External && !t->ended)
                    return false;
            return true;
        };
        if (!cv.wait_until(lk, limit, allEnded)) {
            std::string names;
            for (const auto& t : threads)
                if (t->kind != ThreadKind::External && !t->ended)
                    names += (names.empty() ? "" : ", ") + t->label;
            fail(lk, "simulated PC: threads did not end within " + std::to_string(bound.count()) +
                         " ms after the process ended: " + names);
        }
    }
    // Threads are never killed: one that does not end is waited for, after being reported.
    reapEndedThreads();
    std::vector<std::thread> rest;
    {
        Lock lk(m);
        for (const auto& t : threads)
            if (t->thread.joinable())
                rest.push_back(std::move(t->thread));
    }
    for (auto& t : rest)
        t.join();
}

} // namespace sim
