// Modal windows: dialogs built from their templates, and message boxes with the creation hook.
#include "sim_ui_shared.h"

#include "text.h"

#include <algorithm>

namespace sim {

// ==================================================================== modal windows

Hwnd SimPc::Impl::createDialogWindow(const res::DialogTemplate& t, int templateId, Hwnd parent,
                                     bool child, ThreadRec* self, plat::DialogTarget* target,
                                     Hwnd& focus, Module module) {
    const res::ResourceSet* set = module ? resourcesOf(module) : nullptr;
    Window& d = newWindow(WindowKind::Dialog,
                          t.windowClass.empty() ? String(u"#32770") : t.windowClass, t.caption);
    d.style = t.style;
    d.exStyle = t.exStyle;
    d.enabled = !(t.style & WS_DISABLED);
    if (child)
        d.parent = parent;
    else
        d.owner = parent;
    d.thread = self;
    d.processId = SimPc::kProgramProcessId;
    d.threadId = self->id;
    d.target = target;
    d.templateId = templateId;
    d.placement = {t.x, t.y, t.x + t.cx, t.y + t.cy};
    const Hwnd hwnd = d.hwnd;
    if (child)
        if (Window* p = window(parent))
            p->children.push_back(hwnd);
    focus = 0;
    for (const auto& item : t.items) {
        Window& c = newWindow(WindowKind::Control, item.className, item.text);
        c.style = item.style;
        c.exStyle = item.exStyle;
        c.visible = (item.style & WS_VISIBLE) != 0;
        c.enabled = !(item.style & WS_DISABLED);
        c.parent = hwnd;
        c.thread = self;
        c.processId = SimPc::kProgramProcessId;
        c.threadId = self->id;
        c.controlId = item.id;
        c.helpId = item.helpId;
        c.placement = {item.x, item.y, item.x + item.cx, item.y + item.cy};
        // A bitmap static loads its image, named in the template, from the dialog's module;
        // the image is the control's and goes with it.
        if (foldCase(item.className) == u"static" &&
            (item.style & win::kSsTypeMask) == win::kSsBitmap && item.textOrdinal != 0 && set &&
            set->find(res::kTypeBitmap, item.textOrdinal)) {
            c.image = nextBitmap;
            c.imageId = item.textOrdinal;
            nextBitmap += 4;
        }
        window(hwnd)->children.push_back(c.hwnd);
        if (!focus && (item.style & win::kWsTabStop) && c.visible && c.enabled)
            focus = c.hwnd;
    }
    return hwnd;
}

std::intptr_t SimPc::Impl::dialogBox(Module module, int templateId, Hwnd parent,
                                     plat::DialogTarget* target) {
    ModalFrame frame;
    Hwnd hwnd = 0;
    Hwnd focus = 0;
    bool visibleStyle = false;
    bool ownerWasEnabled = false;
    {
        Lock lk(m);
        const res::ResourceSet* set = resourcesOf(module);
        const auto t = set && target ? set->dialog(templateId) : std::nullopt;
        if (!t)
            return -1;
        ThreadRec* self = current(lk);
        // Only top-level windows own others: a page's dialog is owned by the sheet.
        parent = topLevelOf(parent);
        hwnd = createDialogWindow(*t, templateId, parent, false, self, target, focus, module);
        visibleStyle = (t->style & WS_VISIBLE) != 0;
        beginFrame(frame, ModalKind::Dialog, hwnd, self);
        // A modal dialog disables its owner while it runs.
        ownerWasEnabled = disableOwner(parent);
    }

    callWindowProc(hwnd, WM_INITDIALOG, focus, 0);

    bool userSees = false;
    {
        Lock lk(m);
        if (Window* d = window(hwnd)) {
            // A template with WS_VISIBLE is shown once initialisation returns; one without it
            // (the hidden controller) stays as the program left it.
            if (visibleStyle && !frame.ended)
                d->visible = true;
            userSees = d->visible && !frame.ended;
            journal("window created: " + narrow(d->className) + "/" + narrow(d->title) +
                    " (dialog " + std::to_string(templateId) + (userSees ? ")" : ", hidden)"));
        }
    }
    if (userSees)
        showModal(frame);
    runModal(frame);

    callWindowProc(hwnd, WM_DESTROY, 0, 0);
    {
        Lock lk(m);
        closeFrame(frame);
        if (Window* d = window(hwnd)) {
            journal("window destroyed: " + narrow(d->className) + "/" + narrow(d->title) +
                    " (result " + std::to_string(frame.result) + ")");
            d->modal = nullptr;
            d->target = nullptr;
            destroyWindowLocked(hwnd);
        }
        restoreOwner(parent, ownerWasEnabled);
    }
    return frame.result;
}

bool SimPc::Impl::endDialog(Hwnd dialog, std::intptr_t result) {
    Lock lk(m);
    Window* w = window(dialog);
    if (!w || !w->modal)
        return false;
    if (w->kind == WindowKind::Sheet) {
        // As on Windows: the sheet is hidden and its owner enabled, but PropertySheetW goes on
        // running a sheet nobody can see or close. The program must never do this.
        w->visible = false;
        if (Window* o = window(w->owner))
            o->enabled = true;
        journal("EndDialog on a property sheet: hidden, still running");
        fail(lk, "EndDialog on the property sheet [" + narrow(w->title) +
                     "]: Windows only hides it and PropertySheetW keeps running; a sheet ends "
                     "through its own OK or Cancel command, or WM_CLOSE");
        return true;
    }
    endFrame(*w->modal, result);
    return true;
}

Hwnd SimPc::Impl::createMessageBoxWindow(Hwnd owner, ThreadRec* self, const String& text,
                                         const String& caption, std::uint32_t style) {
    Window& b =
        newWindow(WindowKind::MessageBox, u"#32770", caption.empty() ? String(u"Error") : caption);
    b.style = win::kWsPopup | win::kWsCaption | win::kWsSysMenu;
    b.exStyle = win::kWsExDlgModalFrame | win::kWsExWindowEdge | win::kWsExControlParent |
                ((style & win::kMbTopmost) ? win::kWsExTopmost : 0);
    b.owner = owner;
    b.thread = self;
    b.processId = SimPc::kProgramProcessId;
    b.threadId = self->id;
    b.boxText = text;
    b.boxStyle = style;
    const Hwnd hwnd = b.hwnd;
    addChildControl(hwnd, self, u"Static", win::kMessageBoxTextId, text, 0);
    auto buttons = boxButtons(style);
    if (style & win::kMbHelp)
        buttons.push_back({static_cast<int>(IDHELP), u"Help"});
    const std::size_t def = (style & win::kMbDefMask) >> 8;
    for (std::size_t i = 0; i < buttons.size(); ++i)
        addChildControl(hwnd, self, u"Button", buttons[i].id, buttons[i].text,
                        win::kWsTabStop |
                            (i == (def < buttons.size() ? def : 0) ? win::kBsDefPushButton : 0));
    return hwnd;
}

int SimPc::Impl::messageBox(Hwnd owner, const String& text, const String& caption,
                            std::uint32_t style, plat::MessageBoxHook* hook) {
    ModalFrame frame;
    Hwnd hwnd = 0;
    bool ownerWasEnabled = false;
    {
        Lock lk(m);
        ThreadRec* self = current(lk);
        owner = topLevelOf(owner);
        hwnd = createMessageBoxWindow(owner, self, text, caption, style);
        beginFrame(frame, ModalKind::MessageBox, hwnd, self);
        ownerWasEnabled = disableOwner(owner);
    }
    if (hook)
        hook->onInit(hwnd);
    {
        Lock lk(m);
        if (Window* b = window(hwnd))
            b->visible = true;
    }
    showModal(frame);
    runModal(frame);
    {
        Lock lk(m);
        closeFrame(frame);
        std::string answer = "(closed)";
        if (Window* b = window(hwnd)) {
            for (Hwnd child : b->children)
                if (const Window* c = window(child);
                    c && c->controlId == frame.result && c->controlId != win::kMessageBoxTextId)
                    answer = narrow(c->title);
            b->modal = nullptr;
            destroyWindowLocked(hwnd);
        }
        journal("answered: " + answer);
        restoreOwner(owner, ownerWasEnabled);
    }
    return static_cast<int>(frame.result);
}

// ==================================================================== parts modals share

Hwnd SimPc::Impl::addChildControl(Hwnd parent, ThreadRec* self, const String& className, int id,
                                  const String& text, std::uint32_t style) {
    Window& c = newWindow(WindowKind::Control, className, text);
    c.style = style | win::kWsChild | WS_VISIBLE;
    c.visible = true;
    c.parent = parent;
    c.thread = self;
    c.processId = SimPc::kProgramProcessId;
    c.threadId = self->id;
    c.controlId = id;
    window(parent)->children.push_back(c.hwnd);
    return c.hwnd;
}

void SimPc::Impl::beginFrame(ModalFrame& frame, ModalKind kind, Hwnd hwnd, ThreadRec* self) {
    frame.serial = nextFrameSerial++;
    frame.kind = kind;
    frame.window = hwnd;
    frame.thread = self;
    window(hwnd)->modal = &frame;
}

bool SimPc::Impl::disableOwner(Hwnd owner) {
    Window* o = window(owner);
    if (!o)
        return false;
    const bool wasEnabled = o->enabled;
    o->enabled = false;
    return wasEnabled;
}

void SimPc::Impl::restoreOwner(Hwnd owner, bool wasEnabled) {
    if (Window* o = window(owner))
        o->enabled = wasEnabled;
    cv.notify_all();
}

void SimPc::Impl::closeFrame(ModalFrame& frame) {
    openFrames.erase(std::remove(openFrames.begin(), openFrames.end(), &frame), openFrames.end());
}

} // namespace sim
