// The world's windows: lookup, creation, destruction, and foreign windows' own answers.
#include "sim_world.h"

#include "text.h"

#include <algorithm>
#include <utility>

namespace sim {

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

} // namespace sim
