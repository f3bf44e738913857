// What the user sees (the view of a modal, the screen as a failure shows it) and meeting
// the user: each modal opened is shown, answered by the script or dismissed.
#include "sim_ui_shared.h"

#include "text.h"

#include <algorithm>

namespace sim {

// ==================================================================== views

ModalView SimPc::Impl::viewOfWindow(const Window& w, ModalKind kind) const {
    ModalView v;
    v.kind = kind;
    v.window = w.hwnd;
    v.owner = w.owner;
    v.templateId = w.templateId;
    v.caption = w.title;
    v.exStyle = w.exStyle;
    if (w.kind == WindowKind::MessageBox) {
        v.text = w.boxText;
        v.style = w.boxStyle;
    } else {
        v.style = w.style;
    }
    if (w.sheet && w.sheet->current >= 0)
        v.templateId = w.sheet->pages[static_cast<std::size_t>(w.sheet->current)].templateId;
    for (Hwnd child : userControlsOf(w)) {
        const Window* c = window(child);
        if (!c || (w.kind == WindowKind::MessageBox && c->controlId == win::kMessageBoxTextId))
            continue;
        ControlView cv;
        cv.id = c->controlId;
        cv.className = displayClass(c->className);
        cv.text = c->title;
        cv.visible = c->visible;
        cv.enabled = c->enabled;
        cv.checked = c->checked;
        cv.items = c->items;
        cv.selection = c->selection;
        cv.style = c->style;
        cv.isDefault = foldCase(c->className) == u"button" &&
                       (c->style & win::kBsTypeMask) == win::kBsDefPushButton;
        v.controls.push_back(std::move(cv));
    }
    return v;
}

std::vector<Hwnd> SimPc::Impl::userControlsOf(const Window& w) const {
    std::vector<Hwnd> out;
    for (Hwnd child : w.children)
        if (const Window* c = window(child); c && c->kind == WindowKind::Control)
            out.push_back(child);
    if (w.sheet && w.sheet->current >= 0)
        if (const Window* page =
                window(w.sheet->pages[static_cast<std::size_t>(w.sheet->current)].hwnd))
            for (Hwnd child : page->children)
                out.push_back(child);
    return out;
}

ModalView SimPc::Impl::viewOf(const ModalFrame& frame) const {
    if (frame.kind == ModalKind::PopupMenu) {
        ModalView v;
        v.kind = ModalKind::PopupMenu;
        v.owner = frame.menuOwner;
        menuView(frame.menu, String(), v.controls);
        v.menu = menuTree(frame.menu, 0);
        return v;
    }
    if (const Window* w = window(frame.window))
        return viewOfWindow(*w, frame.kind);
    return frame.last;
}

std::string SimPc::Impl::screenLocked() const {
    std::string s;
    std::vector<const Window*> tops;
    for (const auto& [hwnd, w] : windows)
        if (w->parent == 0 && w->visible)
            tops.push_back(w.get());
    std::sort(tops.begin(), tops.end(),
              [](const Window* a, const Window* b) { return a->order > b->order; });
    s += "visible windows (topmost first):\n";
    if (tops.empty())
        s += "  (none)\n";
    for (const Window* w : tops) {
        s += "  " + narrow(w->className) + " \"" + oneLine(w->title) + "\"";
        s += w->kind == WindowKind::Foreign ? " (process " + std::to_string(w->processId) + ")"
                                            : " (program)";
        s += "\n";
    }
    std::string hidden;
    for (const auto& [hwnd, w] : windows)
        if (w->parent == 0 && !w->visible && w->kind != WindowKind::Foreign)
            hidden += "  " + narrow(w->className) + " \"" + oneLine(w->title) + "\"\n";
    if (!hidden.empty())
        s += "hidden windows of the program:\n" + hidden;
    s += "open modals (innermost last):\n";
    if (openFrames.empty())
        s += "  (none)\n";
    for (const ModalFrame* f : openFrames) {
        std::string d = viewOf(*f).describe();
        std::string indented = "  ";
        for (char c : d) {
            indented += c;
            if (c == '\n')
                indented += "  ";
        }
        s += indented + "\n";
    }
    for (const auto& icon : trayIcons) {
        auto id = iconIds.find(icon.icon);
        s += "tray icon: \"" + oneLine(icon.tip) + "\", icon " +
             (id != iconIds.end() ? std::to_string(id->second) : std::string("?")) + "\n";
    }
    return s;
}

// ==================================================================== meeting the user

void SimPc::Impl::showModal(ModalFrame& frame) {
    Lock lk(m);
    const ModalView v = viewOf(frame);
    frame.opened = v;
    frame.last = v;
    frame.userVisible = true;
    frame.awaitingUser = true;
    history.push_back(v);
    openFrames.push_back(&frame);
    if (frame.window)
        foreground = frame.window;
    switch (frame.kind) {
    case ModalKind::MessageBox: {
        std::string buttons;
        for (const auto& c : v.controls)
            buttons += (buttons.empty() ? "" : ", ") + narrow(c.text);
        journal("message box opened: [" + oneLine(v.caption) + "] " + oneLine(v.text) +
                " / buttons: " + buttons);
        break;
    }
    case ModalKind::PopupMenu: {
        std::string items;
        for (const auto& item : v.menu)
            if (!item.separator)
                items += (items.empty() ? "" : ", ") + narrow(item.text);
        journal("popup menu opened: " + items);
        break;
    }
    default:
        journal(std::string(kindName(frame.kind)) + " opened: [" + oneLine(v.caption) +
                "] (template " + std::to_string(v.templateId) + ")");
        break;
    }
}

void SimPc::Impl::meetUser(ModalFrame& frame) {
    std::optional<ScriptEntry> entry;
    {
        Lock lk(m);
        // While the process is being torn down nobody answers: the modal loop ends by itself.
        if (ending || frame.ended)
            return;
        const ModalView v = viewOf(frame);
        frame.last = v;
        for (auto it = script.begin(); it != script.end(); ++it)
            if (matches(*it, v)) {
                entry = std::move(*it);
                script.erase(it);
                break;
            }
        if (!entry) {
            fail(lk, std::string("scripted user: unexpected ") + kindName(frame.kind) +
                         " (no script entry matches it):\n" + v.describe() + "\nOn screen:\n" +
                         screenLocked());
        }
    }
    if (!entry) {
        {
            Lock lk(m);
            journal(std::string("no script entry: the ") + kindName(frame.kind) + " is dismissed");
        }
        dismiss(frame);
        return;
    }
    if (entry->hold || !entry->act)
        return;
    SimModalContext context(*this, frame);
    try {
        entry->act(context);
    } catch (const std::exception& e) {
        Lock lk(m);
        fail(lk, "scripted user: the script entry \"" + entry->label + "\" threw: " + e.what());
    }
}

void SimPc::Impl::actOn(std::uint64_t serial, const std::function<void(ModalContext&)>& act) {
    ModalFrame* frame = nullptr;
    {
        Lock lk(m);
        for (ModalFrame* f : openFrames)
            if (f->serial == serial && !f->ended)
                frame = f;
        if (!frame) {
            fail(lk,
                 "scripted user: the modal closed before the test could act on it\nOn screen:\n" +
                     screenLocked());
            return;
        }
    }
    SimModalContext context(*this, *frame);
    try {
        act(context);
    } catch (const std::exception& e) {
        Lock lk(m);
        fail(lk, std::string("scripted user: the action threw: ") + e.what());
    }
}

void SimPc::Impl::dismiss(ModalFrame& frame) {
    switch (frame.kind) {
    case ModalKind::MessageBox: {
        Lock lk(m);
        const Window* box = window(frame.window);
        int id = IDCANCEL;
        bool hasCancel = false;
        if (box)
            for (Hwnd child : box->children)
                if (const Window* c = window(child); c && c->controlId != win::kMessageBoxTextId) {
                    hasCancel = hasCancel || c->controlId == static_cast<int>(IDCANCEL);
                    if (!hasCancel)
                        id = c->controlId;
                }
        endFrame(frame, hasCancel ? static_cast<int>(IDCANCEL) : id);
        return;
    }
    case ModalKind::PopupMenu: {
        Lock lk(m);
        endFrame(frame, 0);
        return;
    }
    default:
        break;
    }
    // Dialogs get the Cancel command first, so the program can clean up; one that ignores it
    // is ended anyway: a test must never hang on a dialog nobody answers.
    callWindowProc(frame.window, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 0);
    Lock lk(m);
    endFrame(frame, IDCANCEL);
}

} // namespace sim
