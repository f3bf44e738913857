#include "sim_world.h"

#include "text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sim {

String foldCase(const String& s) {
    String out = s;
    for (auto& c : out) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F))
            c = static_cast<char16_t>(c + 0x20);
        else if (c >= 0x400 && c <= 0x40F)
            c = static_cast<char16_t>(c + 0x50);
    }
    return out;
}

String spelledForEnumeration(const String& path, DevicePathSpelling spelling) {
    if (spelling == DevicePathSpelling::Legacy)
        return path;
    String out = path;
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

String spelledForNotification(const String& path, DevicePathSpelling spelling) {
    if (spelling == DevicePathSpelling::Legacy)
        return path;
    // The device part runs to the second '#': "\\?\HID#VID_0B7A&PID_0100&MI_03&COL01"; the
    // instance and the class GUID after it stay as they are.
    String out = path;
    const std::size_t first = out.find(u'#');
    const std::size_t end = first == String::npos ? out.size() : out.find(u'#', first + 1);
    for (std::size_t i = 0; i < out.size() && i < end; ++i)
        if (out[i] >= u'a' && out[i] <= u'z')
            out[i] = static_cast<char16_t>(out[i] - u'a' + u'A');
    return out;
}

std::string narrow(const String& s) {
    return plat::toUtf8(s);
}

bool splitPath(const String& path, std::vector<String>& parts) {
    parts.clear();
    String part;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            if (part.empty() && i != path.size())
                return false; // leading or doubled backslash
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    return true;
}

std::string messageName(std::uint32_t msg) {
    switch (msg) {
    case WM_DESTROY:
        return "WM_DESTROY";
    case WM_SETTEXT:
        return "WM_SETTEXT";
    case WM_GETTEXT:
        return "WM_GETTEXT";
    case WM_PAINT:
        return "WM_PAINT";
    case WM_CLOSE:
        return "WM_CLOSE";
    case WM_QUERYENDSESSION:
        return "WM_QUERYENDSESSION";
    case WM_ENDSESSION:
        return "WM_ENDSESSION";
    case WM_SETICON:
        return "WM_SETICON";
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_INITDIALOG:
        return "WM_INITDIALOG";
    case WM_COMMAND:
        return "WM_COMMAND";
    case WM_TIMER:
        return "WM_TIMER";
    case WM_LBUTTONDOWN:
        return "WM_LBUTTONDOWN";
    case WM_LBUTTONDBLCLK:
        return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN:
        return "WM_RBUTTONDOWN";
    case WM_RBUTTONDBLCLK:
        return "WM_RBUTTONDBLCLK";
    case WM_DEVICECHANGE:
        return "WM_DEVICECHANGE";
    case WM_APPCOMMAND:
        return "WM_APPCOMMAND";
    default:
        break;
    }
    if (msg >= WM_USER && msg < 0x8000)
        return msg == WM_USER ? "WM_USER" : "WM_USER+" + std::to_string(msg - WM_USER);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", msg);
    return buf;
}

std::string messageText(std::uint32_t msg, WParam wParam, LParam lParam) {
    std::string s = messageName(msg);
    if (wParam != 0 || lParam != 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, " (wParam %llu, lParam 0x%llX)",
                      static_cast<unsigned long long>(wParam),
                      static_cast<unsigned long long>(lParam));
        s += buf;
    }
    return s;
}

// ==================================================================== construction

SimPc::Impl::Impl() {
    registryPort = makeRegistryPort(*this);
    filesPort = makeFilesPort(*this);
    foldersPort = makeFoldersPort(*this);
    threadsPort = makeThreadsPort(*this);
    desktopPort = makeDesktopPort(*this);
    uiPort = makeUiPort(*this);
    resourcesPort = makeResourcesPort(*this);
    hidPort = makeHidPort(*this);
    audioPort = makeAudioPort(*this);
    processesPort = makeProcessesPort(*this);
}

SimPc::Impl::~Impl() = default;

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

// ==================================================================== failures, journal

void SimPc::Impl::fail(Lock& lk, const std::string& message) {
    failures.push_back(message);
    auto handler = failureHandler;
    lk.unlock();
    if (handler)
        handler(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
    lk.lock();
}

void SimPc::Impl::journal(std::string line) {
    journalLines.push_back(std::move(line));
}

// ==================================================================== windows

Window* SimPc::Impl::window(Hwnd hwnd) {
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

const Window* SimPc::Impl::window(Hwnd hwnd) const {
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

Window& SimPc::Impl::newWindow(WindowKind kind, const String& className, const String& title) {
    auto w = std::make_unique<Window>();
    w->hwnd = nextHwnd;
    nextHwnd += 0x10;
    w->kind = kind;
    w->order = nextOrder++;
    w->className = className;
    w->title = title;
    Window& ref = *w;
    windows[ref.hwnd] = std::move(w);
    return ref;
}

std::string SimPc::Impl::windowLabel(const Window& w) const {
    if (!w.title.empty())
        return narrow(w.title);
    return "[" + narrow(w.className) + "]";
}

void SimPc::Impl::destroyWindowLocked(Hwnd hwnd) {
    Window* w = window(hwnd);
    if (!w)
        return;
    const std::vector<Hwnd> children = w->children;
    for (Hwnd child : children)
        destroyWindowLocked(child);
    if (w->modal && !w->modal->ended) {
        w->modal->ended = true;
        w->modal->result = 0;
        wakeForMessages(w->modal->thread);
    }
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.window == hwnd; }),
                 timers.end());
    trayIcons.erase(std::remove_if(trayIcons.begin(), trayIcons.end(),
                                   [&](const TrayIcon& t) { return t.window == hwnd; }),
                    trayIcons.end());
    if (foreground == hwnd)
        foreground = 0;
    // Whoever waits for its answer gets none.
    if (w->hungSince)
        for (const auto& t : threads)
            if (t->blocked && t->blockKind == BlockKind::HungSend)
                wake(t.get(), WakeReason::Woken);
    if (Window* parent = window(w->parent))
        parent->children.erase(std::remove(parent->children.begin(), parent->children.end(), hwnd),
                               parent->children.end());
    windows.erase(hwnd);
}

Hwnd SimPc::Impl::topLevelOf(Hwnd hwnd) const {
    for (int depth = 0; depth < 64; ++depth) {
        const Window* w = window(hwnd);
        if (!w || w->parent == 0)
            return hwnd;
        hwnd = w->parent;
    }
    return hwnd;
}

Hwnd SimPc::Impl::findTopLevel(const String* className, const String* title) const {
    // FindWindowW compares both names without regard to case and looks at every top-level
    // window, hidden or not, topmost (most recent) first.
    const Window* best = nullptr;
    const String cls = className ? foldCase(*className) : String();
    const String text = title ? foldCase(*title) : String();
    for (const auto& [hwnd, w] : windows) {
        if (w->parent != 0)
            continue;
        if (className && foldCase(w->className) != cls)
            continue;
        if (title && foldCase(w->title) != text)
            continue;
        if (!best || w->order > best->order)
            best = w.get();
    }
    return best ? best->hwnd : 0;
}

LResult SimPc::Impl::foreignReceive(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                                    bool sent) {
    std::function<LResult(const ReceivedMessage&)> handler;
    {
        Lock lk(m);
        Window* w = window(hwnd);
        if (!w)
            return 0;
        w->received.push_back({msg, wParam, lParam});
        journal(std::string(sent ? "sent to " : "posted to ") + windowLabel(*w) + ": " +
                messageText(msg, wParam, lParam));
        handler = w->foreignHandler;
    }
    return handler ? handler({msg, wParam, lParam}) : 0;
}

bool SimPc::Impl::postLocked(Lock& lk, Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                             bool byProgram) {
    Window* w = window(hwnd);
    if (!w)
        return false;
    if (w->kind == WindowKind::Foreign) {
        if (w->hungSince) {
            // It reads its queue again once it answers.
            w->heldPosts.push_back({{hwnd, msg, wParam, lParam}, byProgram});
            if (byProgram)
                journal("posted to " + windowLabel(*w) + ": " + messageText(msg, wParam, lParam) +
                        " (waits: the window does not answer)");
            return true;
        }
        lk.unlock();
        if (byProgram) {
            foreignReceive(hwnd, msg, wParam, lParam, false);
        } else {
            // Another program posting to another program: recorded, not journaled.
            std::function<LResult(const ReceivedMessage&)> handler;
            {
                Lock inner(m);
                if (Window* f = window(hwnd)) {
                    f->received.push_back({msg, wParam, lParam});
                    handler = f->foreignHandler;
                }
            }
            if (handler)
                handler({msg, wParam, lParam});
        }
        lk.lock();
        return true;
    }
    ThreadRec* t = w->thread;
    if (!t || t->ended)
        return false;
    if (byProgram && msg == WM_CLOSE)
        journal("posted to " + windowLabel(*w) + ": WM_CLOSE");
    t->queue.push_back({hwnd, msg, wParam, lParam});
    wakeForMessages(t);
    return true;
}

bool SimPc::Impl::post(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam, bool byProgram) {
    Lock lk(m);
    return postLocked(lk, hwnd, msg, wParam, lParam, byProgram);
}

LResult SimPc::Impl::send(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    Lock lk(m);
    ThreadRec* self = current(lk);
    Window* w = window(hwnd);
    if (!w)
        return 0;
    if (w->kind == WindowKind::Foreign) {
        // SendMessageW to a window that does not answer waits until it answers again or goes;
        // only the end of this process ends the wait otherwise.
        while ((w = window(hwnd)) && w->hungSince && !ending)
            block(lk, self, BlockKind::HungSend, std::nullopt);
        if (!w || w->hungSince)
            return 0;
        lk.unlock();
        return foreignReceive(hwnd, msg, wParam, lParam, true);
    }
    ThreadRec* t = w->thread;
    if (t == self) {
        lk.unlock();
        return callWindowProc(hwnd, msg, wParam, lParam);
    }
    if (!t || t->ended)
        return 0;
    // Like SendMessageW across threads: delivered on the owner's thread while the sender
    // waits, still answering messages sent to itself so two threads cannot deadlock.
    auto call = std::make_shared<SentCall>();
    call->window = hwnd;
    call->msg = msg;
    call->wParam = wParam;
    call->lParam = lParam;
    call->sender = self;
    t->sends.push_back(call);
    wakeForMessages(t);
    while (!call->done) {
        if (!self->sends.empty()) {
            auto incoming = self->sends.front();
            self->sends.pop_front();
            lk.unlock();
            handleSent(incoming);
            lk.lock();
            continue;
        }
        block(lk, self, BlockKind::SendWait, std::nullopt);
    }
    return call->result;
}

bool SimPc::Impl::sendTimeout(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                              std::uint32_t flags, std::uint32_t milliseconds, LResult& result) {
    // Windows takes a thread for hung once it has not looked at its messages for this long.
    constexpr std::uint64_t hungAfterMs = 5000;
    result = 0;
    Lock lk(m);
    ThreadRec* self = current(lk);
    Window* w = window(hwnd);
    if (!w)
        return false;
    if (w->kind == WindowKind::Foreign && w->hungSince) {
        if ((flags & SMTO_ABORTIFHUNG) && now - *w->hungSince >= hungAfterMs) {
            journal("not sent to " + windowLabel(*w) + ": " + messageText(msg, wParam, lParam) +
                    " (it does not answer)");
            return false;
        }
        const std::uint64_t deadline = now + milliseconds;
        const std::string label = windowLabel(*w);
        const auto answers = [&] {
            const Window* x = window(hwnd);
            return !x || !x->hungSince;
        };
        while (!answers()) {
            if (ending || now >= deadline) {
                journal("no answer from " + label + " to " +
                        messageText(msg, wParam, lParam) + " within " +
                        std::to_string(milliseconds) + " ms");
                return false;
            }
            if (drivesClock(self) && !driver) {
                driveTo(lk, self, deadline, answers);
                continue;
            }
            self->wantsToDrive = drivesClock(self);
            block(lk, self, BlockKind::HungSend, deadline);
        }
        if (!window(hwnd))
            return false;
    }
    lk.unlock();
    // Answering windows (the program's own, other programs') answer as SendMessageW does.
    result = send(hwnd, msg, wParam, lParam);
    return true;
}

void SimPc::Impl::setHung(Hwnd hwnd, bool hung) {
    std::deque<std::pair<PostedMessage, bool>> held;
    {
        Lock lk(m);
        Window* w = window(hwnd);
        if (!w || w->kind != WindowKind::Foreign || hung == w->hungSince.has_value())
            return;
        if (hung) {
            w->hungSince = now;
            journal(windowLabel(*w) + " stops answering");
            return;
        }
        w->hungSince.reset();
        held.swap(w->heldPosts);
        journal(windowLabel(*w) + " answers again");
        for (const auto& t : threads)
            if (t->blocked && t->blockKind == BlockKind::HungSend)
                wake(t.get(), WakeReason::Woken);
    }
    for (const auto& [post, byProgram] : held)
        this->post(post.window, post.msg, post.wParam, post.lParam, byProgram);
}

void SimPc::Impl::sendAsync(Hwnd hwnd, std::uint32_t msg, WParam wParam,
                            std::shared_ptr<void> payload, LParam lParam) {
    Lock lk(m);
    Window* w = window(hwnd);
    if (!w || !w->thread || w->thread->ended)
        return;
    auto call = std::make_shared<SentCall>();
    call->window = hwnd;
    call->msg = msg;
    call->wParam = wParam;
    call->lParam = lParam;
    call->payload = std::move(payload);
    w->thread->sends.push_back(call);
    wakeForMessages(w->thread);
}

void SimPc::Impl::handleSent(const std::shared_ptr<SentCall>& call) {
    LResult result = 0;
    if (call->task)
        call->task();
    else // from another thread of the program, the test, or the system
        result = callWindowProc(call->window, call->msg, call->wParam, call->lParam,
                                plat::MessageSource::OtherThread);
    Lock lk(m);
    call->result = result;
    call->done = true;
    if (call->sender && call->sender->blocked && call->sender->blockKind == BlockKind::SendWait)
        wake(call->sender, WakeReason::Woken);
    cv.notify_all();
}

namespace {

// Keeps the message's source visible to the thread while its window procedure runs.
class SourceScope {
public:
    SourceScope(SimPc::Impl& w, ThreadRec* self, plat::MessageSource source) : w_(w), self_(self) {
        outer_ = std::exchange(self_->messageSource, source);
    }
    ~SourceScope() {
        Lock lk(w_.m);
        self_->messageSource = outer_;
    }
    SourceScope(const SourceScope&) = delete;
    SourceScope& operator=(const SourceScope&) = delete;

private:
    SimPc::Impl& w_;
    ThreadRec* self_;
    plat::MessageSource outer_;
};

} // namespace

LResult SimPc::Impl::callWindowProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                                    plat::MessageSource source) {
    WindowKind kind;
    plat::DialogTarget* target = nullptr;
    std::optional<SourceScope> scope;
    {
        Lock lk(m);
        const Window* w = window(hwnd);
        if (!w)
            return 0;
        kind = w->kind;
        target = w->target;
        scope.emplace(*this, current(lk), source);
    }
    switch (kind) {
    case WindowKind::Dialog: {
        LResult result = 0;
        if (target && target->dialogMessage(hwnd, msg, wParam, lParam, result))
            return result;
        return defDialogProc(hwnd, msg, wParam, lParam);
    }
    case WindowKind::Sheet: {
        LResult result = 0;
        if (target && target->dialogMessage(hwnd, msg, wParam, lParam, result))
            return result;
        return sheetProc(hwnd, msg, wParam, lParam);
    }
    case WindowKind::MessageBox:
        return messageBoxProc(hwnd, msg, wParam, lParam);
    case WindowKind::Control:
        return controlProc(hwnd, msg, wParam, lParam);
    case WindowKind::Foreign:
        return foreignReceive(hwnd, msg, wParam, lParam, true);
    }
    return 0;
}

void SimPc::Impl::runModal(ModalFrame& frame) {
    Lock lk(m);
    ThreadRec* self = current(lk);
    for (;;) {
        if (frame.ended)
            break;
        if (ending) {
            frame.ended = true;
            frame.result = IDCANCEL;
            break;
        }
        if (!self->sends.empty()) {
            auto call = self->sends.front();
            self->sends.pop_front();
            lk.unlock();
            handleSent(call);
            lk.lock();
            continue;
        }
        if (!self->queue.empty()) {
            const PostedMessage msg = self->queue.front();
            self->queue.pop_front();
            if (msg.msg == WM_TIMER) {
                auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) {
                    return t.window == msg.window && t.id == msg.wParam;
                });
                if (it == timers.end())
                    continue; // killed after it was queued
                it->pending = false;
            }
            lk.unlock();
            callWindowProc(msg.window, msg.msg, msg.wParam, msg.lParam, plat::MessageSource::Queue);
            lk.lock();
            continue;
        }
        if (frame.awaitingUser) {
            frame.awaitingUser = false;
            lk.unlock();
            meetUser(frame);
            lk.lock();
            continue;
        }
        block(lk, self, BlockKind::MessageWait, std::nullopt);
    }
}

void SimPc::Impl::endFrame(ModalFrame& frame, std::intptr_t result) {
    if (frame.ended)
        return;
    frame.ended = true;
    frame.result = result;
    wakeForMessages(frame.thread);
}

} // namespace sim
