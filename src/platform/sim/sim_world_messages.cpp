// Messages between windows: posting, sending (also across threads and with a timeout), calling
// a window procedure, and the modal loop.
#include "sim_world.h"

#include "text.h"

#include <algorithm>
#include <utility>

namespace sim {

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
