// The Desktop port: finding windows, messages, visibility, texts, timers on virtual time,
// registered messages and device-notification registrations.
#include "sim_world.h"

#include <algorithm>

namespace sim {

namespace {

class DesktopPort final : public plat::Desktop {
public:
    explicit DesktopPort(SimPc::Impl& w) : w_(w) {}

    Hwnd findWindow(const String* className, const String* title) override {
        Lock lk(w_.m);
        return w_.findTopLevel(className, title);
    }

    bool postMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) override {
        return w_.post(window, msg, wParam, lParam, true);
    }

    LResult sendMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) override {
        return w_.send(window, msg, wParam, lParam);
    }

    bool sendMessageTimeout(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam,
                            std::uint32_t flags, std::uint32_t milliseconds,
                            LResult& result) override {
        return w_.sendTimeout(window, msg, wParam, lParam, flags, milliseconds, result);
    }

    bool isWindow(Hwnd window) override {
        Lock lk(w_.m);
        return w_.window(window) != nullptr;
    }

    bool setForegroundWindow(Hwnd window) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        if (!w)
            return false;
        w_.foreground = window;
        w_.journal("brought to front: " + w_.windowLabel(*w));
        return true;
    }

    Hwnd getForegroundWindow() override {
        Lock lk(w_.m);
        return w_.foreground;
    }

    bool showWindow(Hwnd window, std::uint32_t command) override {
        Lock lk(w_.m);
        Window* w = w_.window(window);
        if (!w)
            return false;
        const bool before = w->visible;
        w->visible = command != SW_HIDE;
        return before;
    }

    bool isWindowVisible(Hwnd window) override {
        Lock lk(w_.m);
        for (const Window* w = w_.window(window); w; w = w_.window(w->parent))
            if (!w->visible)
                return false;
        return w_.window(window) != nullptr;
    }

    bool setWindowText(Hwnd window, const String& text) override {
        {
            Lock lk(w_.m);
            Window* w = w_.window(window);
            if (!w)
                return false;
            if (w->kind == WindowKind::Foreign) {
                w->title = text;
                return true;
            }
        }
        // The program's own windows get WM_SETTEXT, so edit controls report the change.
        w_.send(window, WM_SETTEXT, 0, reinterpret_cast<LParam>(text.c_str()));
        return true;
    }

    String getWindowText(Hwnd window) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        return w ? w->title : String();
    }

    std::uint32_t getExStyle(Hwnd window) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        return w ? w->exStyle : 0;
    }

    void setExStyle(Hwnd window, std::uint32_t exStyle) override {
        Lock lk(w_.m);
        if (Window* w = w_.window(window))
            w->exStyle = exStyle;
    }

    bool enableWindow(Hwnd window, bool enable) override {
        Lock lk(w_.m);
        Window* w = w_.window(window);
        if (!w)
            return false;
        const bool wasDisabled = !w->enabled;
        w->enabled = enable;
        return wasDisabled;
    }

    bool isWindowEnabled(Hwnd window) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        return w && w->enabled;
    }

    bool getWindowPlacement(Hwnd window, plat::WindowPlacement& placement) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        if (!w)
            return false;
        placement.normalPosition = w->placement;
        return true;
    }

    bool setWindowPlacement(Hwnd window, const plat::WindowPlacement& placement) override {
        Lock lk(w_.m);
        Window* w = w_.window(window);
        if (!w)
            return false;
        w->placement = placement.normalPosition;
        return true;
    }

    Hwnd getDlgItem(Hwnd dialog, int controlId) override {
        Lock lk(w_.m);
        const Window* d = w_.window(dialog);
        if (!d)
            return 0;
        for (Hwnd child : d->children)
            if (const Window* c = w_.window(child); c && c->controlId == controlId)
                return child;
        return 0;
    }

    std::uint32_t getWindowThreadProcessId(Hwnd window, std::uint32_t* processId) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        if (!w)
            return 0;
        if (processId)
            *processId = w->processId;
        return w->threadId;
    }

    std::uintptr_t setTimer(Hwnd window, std::uintptr_t id, std::uint32_t milliseconds) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        if (!w || !w->thread || w_.timersFail)
            return 0;
        // USER_TIMER_MINIMUM and USER_TIMER_MAXIMUM.
        const std::uint32_t interval = std::clamp<std::uint32_t>(milliseconds, 10, 0x7FFFFFFF);
        auto it = std::find_if(w_.timers.begin(), w_.timers.end(),
                               [&](const Timer& t) { return t.window == window && t.id == id; });
        if (it == w_.timers.end()) {
            Timer t;
            t.window = window;
            t.id = id;
            t.serial = w_.nextTimerSerial++;
            w_.timers.push_back(t);
            it = w_.timers.end() - 1;
        }
        // Setting an existing timer again restarts it.
        it->interval = interval;
        it->due = w_.now + interval;
        // A window's timer 0 exists, but SetTimer cannot return 0 for success: it says 1.
        // (KillTimer with that 1 then finds no such timer.)
        return id == 0 ? 1 : id;
    }

    bool killTimer(Hwnd window, std::uintptr_t id) override {
        Lock lk(w_.m);
        auto it = std::find_if(w_.timers.begin(), w_.timers.end(),
                               [&](const Timer& t) { return t.window == window && t.id == id; });
        if (it == w_.timers.end())
            return false;
        w_.timers.erase(it);
        // WM_TIMER is produced when the queue is read, so a killed timer's tick never arrives.
        if (Window* w = w_.window(window); w && w->thread) {
            auto& q = w->thread->queue;
            q.erase(std::remove_if(q.begin(), q.end(),
                                   [&](const PostedMessage& p) {
                                       return p.window == window && p.msg == WM_TIMER &&
                                              p.wParam == id;
                                   }),
                    q.end());
        }
        return true;
    }

    plat::Point getCursorPos() override {
        Lock lk(w_.m);
        return w_.cursor;
    }

    std::uint32_t registerWindowMessage(const String& name) override {
        Lock lk(w_.m);
        if (name.empty())
            return 0;
        auto [it, inserted] =
            w_.registeredMessages.emplace(foldCase(name), w_.nextRegisteredMessage);
        if (inserted)
            ++w_.nextRegisteredMessage;
        return it->second;
    }

    bool allowMessageFromLowerIntegrity(Hwnd window, std::uint32_t msg) override {
        Lock lk(w_.m);
        Window* w = w_.window(window);
        if (!w || w->kind == WindowKind::Foreign)
            return false;
        w->allowedFromLower.insert(msg);
        return true;
    }

    Handle registerDeviceNotification(Hwnd window, const plat::Guid& classGuid) override {
        Lock lk(w_.m);
        const Window* w = w_.window(window);
        if (!w || w_.deviceNotificationFails)
            return 0;
        const Handle h = w_.nextHandle;
        w_.nextHandle += 4;
        KernelObject object;
        object.kind = ObjectKind::DeviceNotification;
        object.window = window;
        object.classGuid = classGuid;
        object.owner = w_.callerProcess(lk);
        w_.objects[h] = object;
        w_.journal("device notifications registered for " + w_.windowLabel(*w));
        return h;
    }

private:
    SimPc::Impl& w_;
};

} // namespace

std::unique_ptr<plat::Desktop> makeDesktopPort(SimPc::Impl& w) {
    return std::make_unique<DesktopPort>(w);
}

} // namespace sim
