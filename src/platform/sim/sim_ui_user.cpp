// The scripted user's hands: pressing, typing, selecting and choosing on the open modal, as a
// person would with the mouse and the keyboard.
#include "sim_ui_shared.h"

#include "text.h"

#include <algorithm>

namespace sim {

const ModalView& SimModalContext::view() {
    Lock lk(w_.m);
    view_ = w_.viewOf(f_);
    if (!f_.ended)
        f_.last = view_;
    return view_;
}

void SimModalContext::pressButton(const String& text) {
    if (f_.kind == ModalKind::PopupMenu) {
        chooseMenuItem(text);
        return;
    }
    const ModalView& v = view();
    for (const auto& c : v.controls)
        if (c.className == u"Button" && sameLabel(c.text, text)) {
            pressId(c.id);
            return;
        }
    failOnView("no button \"" + narrow(text) + "\"");
}

void SimModalContext::pressId(int controlId) {
    Hwnd hwnd = 0;
    Hwnd control = 0;
    bool enabled = true;
    std::string label;
    {
        Lock lk(w_.m);
        if (f_.ended) {
            lk.unlock();
            failOnView("the " + std::string(kindName(f_.kind)) + " has already closed");
            return;
        }
        if (f_.kind == ModalKind::PopupMenu) {
            lk.unlock();
            chooseCommand(static_cast<std::uint32_t>(controlId));
            return;
        }
        hwnd = f_.window;
        if (const Window* box = w_.window(hwnd))
            for (Hwnd child : w_.userControlsOf(*box))
                if (const Window* c = w_.window(child); c && c->controlId == controlId) {
                    control = child;
                    enabled = c->enabled && c->visible;
                    label = narrow(c->title);
                }
        if (f_.kind == ModalKind::Dialog && enabled)
            w_.journal("pressed: " + (label.empty() ? std::to_string(controlId) : label));
    }
    if (control && !enabled) {
        failOnView("control " + std::to_string(controlId) +
                   " cannot be pressed: it is disabled or hidden");
        return;
    }
    if (f_.kind == ModalKind::MessageBox) {
        if (!control) {
            failOnView("the message box has no button " + std::to_string(controlId));
            return;
        }
        w_.callWindowProc(hwnd, WM_COMMAND,
                          makeWParam(static_cast<std::uint32_t>(controlId), BN_CLICKED),
                          static_cast<LParam>(control));
        return;
    }
    if (control)
        w_.click(control);
    else
        w_.callWindowProc(hwnd, WM_COMMAND,
                          makeWParam(static_cast<std::uint32_t>(controlId), BN_CLICKED), 0);
}

void SimModalContext::setText(int controlId, const String& text) {
    const Hwnd control = usableControl(controlId);
    if (!control)
        return;
    String typed = text;
    {
        Lock lk(w_.m);
        if (const Window* c = w_.window(control); c && c->textLimit && typed.size() > c->textLimit)
            typed.resize(c->textLimit); // the edit control refuses what does not fit
        w_.journal("typed into " + std::to_string(controlId) + ": \"" + oneLine(typed) + "\"");
    }
    w_.callWindowProc(control, WM_SETTEXT, 0, reinterpret_cast<LParam>(typed.c_str()));
}

void SimModalContext::selectItem(int controlId, int index) {
    const Hwnd control = usableControl(controlId);
    if (!control)
        return;
    Hwnd parent = 0;
    bool combo = false;
    bool notifies = false;
    {
        Lock lk(w_.m);
        const Window* c = w_.window(control);
        if (!c || index < 0 || static_cast<std::size_t>(index) >= c->items.size()) {
            lk.unlock();
            failOnView("control " + std::to_string(controlId) + " has no item " +
                       std::to_string(index));
            return;
        }
        parent = c->parent;
        if (c->controlId == win::kIdTabControl && f_.kind == ModalKind::PropertySheet) {
            // A click on a tab: the sheet changes pages if the current one lets it go.
            w_.journal("selected page: \"" + oneLine(c->items[static_cast<std::size_t>(index)]) +
                       "\"");
            lk.unlock();
            w_.selectPage(parent, index, true);
            return;
        }
        combo = foldCase(c->className) == u"combobox";
        // A combo box always reports the change; a list box only with LBS_NOTIFY.
        notifies = combo || (c->style & win::kLbsNotify) != 0;
        w_.journal("selected in " + std::to_string(controlId) + ": \"" +
                   oneLine(c->items[static_cast<std::size_t>(index)]) + "\"");
    }
    w_.controlProc(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WParam>(index), 0);
    if (notifies)
        w_.callWindowProc(parent, WM_COMMAND,
                          makeWParam(static_cast<std::uint32_t>(controlId),
                                     combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                          static_cast<LParam>(control));
}

void SimModalContext::doubleClickItem(int controlId, int index) {
    const Hwnd control = usableControl(controlId);
    if (!control)
        return;
    Hwnd parent = 0;
    bool notifies = false;
    {
        Lock lk(w_.m);
        const Window* c = w_.window(control);
        if (!c || foldCase(c->className) != u"listbox" || index < 0 ||
            static_cast<std::size_t>(index) >= c->items.size()) {
            lk.unlock();
            failOnView("control " + std::to_string(controlId) + " has no list item " +
                       std::to_string(index) + " to double-click");
            return;
        }
        parent = c->parent;
        notifies = (c->style & win::kLbsNotify) != 0;
        w_.journal("double-clicked in " + std::to_string(controlId) + ": \"" +
                   oneLine(c->items[static_cast<std::size_t>(index)]) + "\"");
    }
    // The first click selects the item; the second, within the double-click time, makes
    // the double click.
    w_.controlProc(control, LB_SETCURSEL, static_cast<WParam>(index), 0);
    if (!notifies)
        return;
    w_.callWindowProc(parent, WM_COMMAND,
                      makeWParam(static_cast<std::uint32_t>(controlId), LBN_SELCHANGE),
                      static_cast<LParam>(control));
    w_.callWindowProc(parent, WM_COMMAND,
                      makeWParam(static_cast<std::uint32_t>(controlId), LBN_DBLCLK),
                      static_cast<LParam>(control));
}

void SimModalContext::selectItemByText(int controlId, const String& text) {
    int found = -1;
    {
        Lock lk(w_.m);
        if (const Window* box = w_.window(f_.window))
            for (Hwnd child : w_.userControlsOf(*box))
                if (const Window* c = w_.window(child); c && c->controlId == controlId)
                    for (std::size_t i = 0; i < c->items.size() && found < 0; ++i)
                        if (c->items[i] == text)
                            found = static_cast<int>(i);
    }
    if (found < 0) {
        failOnView("control " + std::to_string(controlId) + " has no item \"" + narrow(text) +
                   "\"");
        return;
    }
    selectItem(controlId, found);
}

void SimModalContext::setChecked(int controlId, bool checked) {
    const Hwnd control = usableControl(controlId);
    if (!control)
        return;
    bool differs = false;
    {
        Lock lk(w_.m);
        if (const Window* c = w_.window(control))
            differs = (c->checked != 0) != checked;
    }
    if (differs)
        w_.click(control);
}

void SimModalContext::requestHelp(int controlId) {
    const Hwnd control = usableControl(controlId);
    if (!control)
        return;
    plat::HelpInfo info;
    {
        Lock lk(w_.m);
        if (const Window* c = w_.window(control))
            info.contextId = c->helpId;
        info.mousePos = w_.cursor;
        info.item = control;
        w_.journal("help requested on control " + std::to_string(controlId));
    }
    w_.callWindowProc(control, WM_HELP, 0, reinterpret_cast<LParam>(&info));
}

void SimModalContext::pressEnter() {
    switch (f_.kind) {
    case ModalKind::MessageBox: {
        int id = 0;
        {
            Lock lk(w_.m);
            const Window* box = w_.window(f_.window);
            if (!box)
                return;
            std::vector<int> ids;
            for (Hwnd child : box->children)
                if (const Window* c = w_.window(child); c && c->controlId != win::kMessageBoxTextId)
                    ids.push_back(c->controlId);
            const std::size_t index = (box->boxStyle & win::kMbDefMask) >> 8;
            if (ids.empty())
                return;
            id = ids[index < ids.size() ? index : 0];
        }
        pressId(id);
        return;
    }
    case ModalKind::PopupMenu:
        dismissMenu();
        return;
    default:
        break;
    }
    // IsDialogMessage: Enter is the command of the default button (DM_GETDEFID, sent on
    // the dialog's own thread), else IDOK. A disabled default button does nothing.
    const LResult def = w_.callWindowProc(f_.window, DM_GETDEFID, 0, 0);
    const bool hasDefault = hiWord(static_cast<std::uintptr_t>(def)) == win::kDcHasDefId;
    const int id = hasDefault ? static_cast<int>(loWord(static_cast<std::uintptr_t>(def)))
                              : static_cast<int>(IDOK);
    Hwnd control = 0;
    {
        Lock lk(w_.m);
        w_.journal("pressed: Enter");
        if (const Window* box = w_.window(f_.window))
            for (Hwnd child : w_.userControlsOf(*box))
                if (const Window* c = w_.window(child); c && c->controlId == id) {
                    if (hasDefault && !c->enabled)
                        return;
                    control = child;
                }
    }
    w_.callWindowProc(f_.window, WM_COMMAND, makeWParam(static_cast<std::uint32_t>(id), BN_CLICKED),
                      static_cast<LParam>(control));
}

void SimModalContext::pressEscape() {
    switch (f_.kind) {
    case ModalKind::PopupMenu:
        dismissMenu();
        return;
    case ModalKind::MessageBox:
        w_.callWindowProc(f_.window, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 0);
        return;
    default:
        break;
    }
    Hwnd cancel = 0;
    {
        Lock lk(w_.m);
        if (const Window* d = w_.window(f_.window))
            for (Hwnd child : w_.userControlsOf(*d))
                if (const Window* c = w_.window(child);
                    c && c->controlId == static_cast<int>(IDCANCEL))
                    cancel = child;
        w_.journal("pressed: Escape");
    }
    w_.callWindowProc(f_.window, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED),
                      static_cast<LParam>(cancel));
}

Hwnd SimModalContext::usableControl(int controlId) {
    Hwnd control = 0;
    bool usable = false;
    {
        Lock lk(w_.m);
        if (const Window* box = w_.window(f_.window))
            for (Hwnd child : w_.userControlsOf(*box))
                if (const Window* c = w_.window(child); c && c->controlId == controlId) {
                    control = child;
                    usable = c->enabled && c->visible;
                }
    }
    if (!control)
        failOnView("no control " + std::to_string(controlId));
    else if (!usable)
        failOnView("control " + std::to_string(controlId) + " is disabled or hidden");
    return usable ? control : 0;
}

void SimModalContext::failOnView(const std::string& what) {
    Lock lk(w_.m);
    const ModalView v = f_.ended ? f_.last : w_.viewOf(f_);
    w_.fail(lk, "scripted user: " + what + " on " + v.describe());
}

} // namespace sim
