// The UserInterface port: modal dialogs from the resource templates, message boxes with the
// creation hook, popup menus and the notification-area icon, and the scripted user who
// answers every modal a real user would see.
#include "sim_world.h"

#include "text.h"

#include <algorithm>

namespace sim {

namespace {

String withoutAccelerators(const String& text) {
    String out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\t')
            break; // "E&xit\tAlt+X": the shortcut is not part of the name
        if (text[i] == u'&' && i + 1 < text.size() && text[i + 1] != u'&')
            continue;
        if (text[i] == u'&')
            ++i;
        out += text[i];
    }
    return out;
}

// A person names an item or a button by what it shows: "R&&B Room" is "R&B Room", and
// "R&B Room" is shown as "RB Room" (the B underlined).
bool sameLabel(const String& shown, const String& wanted) {
    return withoutAccelerators(shown) == wanted;
}

std::string oneLine(const String& text) {
    std::string out;
    for (char c : narrow(text)) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

const char* kindName(ModalKind kind) {
    switch (kind) {
    case ModalKind::MessageBox:
        return "message box";
    case ModalKind::Dialog:
        return "dialog";
    case ModalKind::PropertySheet:
        return "property sheet";
    case ModalKind::PopupMenu:
        return "popup menu";
    }
    return "modal";
}

bool matches(const ScriptEntry& e, const ModalView& v) {
    if (e.kind != v.kind)
        return false;
    if (e.caption && *e.caption != v.caption)
        return false;
    if (e.text && *e.text != v.text)
        return false;
    if (e.templateId && *e.templateId != v.templateId)
        return false;
    return true;
}

String displayClass(const String& cls) {
    const String f = foldCase(cls);
    if (f == u"button")
        return u"Button";
    if (f == u"edit")
        return u"Edit";
    if (f == u"static")
        return u"Static";
    if (f == u"listbox")
        return u"ListBox";
    if (f == u"combobox")
        return u"ComboBox";
    return cls;
}

struct ButtonSpec {
    int id;
    const char16_t* text;
};

std::vector<ButtonSpec> boxButtons(std::uint32_t style) {
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case 2:
        return {{IDABORT, u"Abort"}, {win::kIdRetry, u"Retry"}, {win::kIdIgnore, u"Ignore"}};
    case 3:
        return {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
        return {{IDYES, u"Yes"}, {IDNO, u"No"}};
    case 5:
        return {{win::kIdRetry, u"Retry"}, {IDCANCEL, u"Cancel"}};
    case 6:
        return {{IDCANCEL, u"Cancel"},
                {win::kIdTryAgain, u"Try Again"},
                {win::kIdContinue, u"Continue"}};
    default:
        return {{IDOK, u"OK"}};
    }
}

} // namespace

// ==================================================================== the scripted user's hands

class SimModalContext final : public ModalContext {
public:
    SimModalContext(SimPc::Impl& w, ModalFrame& frame) : w_(w), f_(frame) {}

    const ModalView& view() override {
        Lock lk(w_.m);
        view_ = w_.viewOf(f_);
        if (!f_.ended)
            f_.last = view_;
        return view_;
    }

    void pressButton(const String& text) override {
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

    void pressId(int controlId) override {
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

    void setText(int controlId, const String& text) override {
        const Hwnd control = usableControl(controlId);
        if (!control)
            return;
        String typed = text;
        {
            Lock lk(w_.m);
            if (const Window* c = w_.window(control);
                c && c->textLimit && typed.size() > c->textLimit)
                typed.resize(c->textLimit); // the edit control refuses what does not fit
            w_.journal("typed into " + std::to_string(controlId) + ": \"" + oneLine(typed) + "\"");
        }
        w_.callWindowProc(control, WM_SETTEXT, 0, reinterpret_cast<LParam>(typed.c_str()));
    }

    void selectItem(int controlId, int index) override {
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
                w_.journal("selected page: \"" +
                           oneLine(c->items[static_cast<std::size_t>(index)]) + "\"");
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

    void doubleClickItem(int controlId, int index) override {
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

    void selectItemByText(int controlId, const String& text) override {
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

    void setChecked(int controlId, bool checked) override {
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

    void requestHelp(int controlId) override {
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

    void pressEnter() override {
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
                    if (const Window* c = w_.window(child);
                        c && c->controlId != win::kMessageBoxTextId)
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
        w_.callWindowProc(f_.window, WM_COMMAND,
                          makeWParam(static_cast<std::uint32_t>(id), BN_CLICKED),
                          static_cast<LParam>(control));
    }

    void pressEscape() override {
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

    void chooseMenuItem(const String& path) override {
        std::vector<String> labels(1);
        for (char16_t c : path) {
            if (c == u'>')
                labels.emplace_back();
            else
                labels.back() += c;
        }
        chooseMenuPath(labels);
    }

    void chooseMenuPath(const std::vector<String>& labels) override {
        String path;
        for (const String& label : labels)
            path += (path.empty() ? u"" : u">") + label;
        if (f_.kind != ModalKind::PopupMenu) {
            failOnView("chooseMenuItem(\"" + narrow(path) + "\") on a window that is not a menu");
            return;
        }
        std::optional<std::uint32_t> id;
        bool disabled = false;
        {
            Lock lk(w_.m);
            HMenu menu = f_.menu;
            for (std::size_t level = 0; level < labels.size(); ++level) {
                auto it = w_.menus.find(menu);
                if (it == w_.menus.end())
                    break;
                const MenuItem* found = nullptr;
                for (const auto& item : it->second.items)
                    if (!found && !(item.flags & MF_SEPARATOR) &&
                        sameLabel(item.text, labels[level]))
                        found = &item;
                if (!found)
                    break;
                if (found->flags & (MF_GRAYED | win::kMfDisabled))
                    disabled = true;
                if (level + 1 == labels.size()) {
                    if (!(found->flags & MF_POPUP))
                        id = static_cast<std::uint32_t>(found->id);
                } else {
                    menu = found->sub;
                }
            }
        }
        if (!id || disabled) {
            failOnView("menu item \"" + narrow(path) +
                       (id ? "\" is disabled" : "\" is not in the menu"));
            return;
        }
        choose(*id, path);
    }

private:
    Hwnd usableControl(int controlId) {
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

    void chooseCommand(std::uint32_t id) {
        // By command id: find its path so the journal names it.
        std::optional<String> path;
        {
            Lock lk(w_.m);
            std::vector<ControlView> items;
            w_.menuView(f_.menu, String(), items);
            for (const auto& c : items)
                if (c.className == u"MenuItem" && static_cast<std::uint32_t>(c.id) == id) {
                    path = c.text;
                    if (!c.enabled)
                        path.reset();
                }
        }
        if (!path) {
            failOnView("menu command " + std::to_string(id) + " is not in the menu or is disabled");
            return;
        }
        choose(id, *path);
    }

    void choose(std::uint32_t id, const String& path) {
        Lock lk(w_.m);
        w_.journal("chose menu item: " + narrow(path));
        f_.chosenCommand = id;
        f_.chosenText = path;
        w_.endFrame(f_, 1);
    }

    void dismissMenu() {
        Lock lk(w_.m);
        w_.endFrame(f_, 0);
    }

    void failOnView(const std::string& what) {
        Lock lk(w_.m);
        const ModalView v = f_.ended ? f_.last : w_.viewOf(f_);
        w_.fail(lk, "scripted user: " + what + " on " + v.describe());
    }

    SimPc::Impl& w_;
    ModalFrame& f_;
    ModalView view_;
};

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

void SimPc::Impl::menuView(HMenu menu, const String& prefix, std::vector<ControlView>& out) const {
    auto it = menus.find(menu);
    if (it == menus.end() || prefix.size() > 4096)
        return;
    for (const auto& item : it->second.items) {
        if (item.flags & MF_SEPARATOR)
            continue;
        ControlView c;
        c.text = prefix + withoutAccelerators(item.text);
        c.enabled = !(item.flags & (MF_GRAYED | win::kMfDisabled));
        c.checked = item.checked ? 1 : 0;
        c.isDefault = item.isDefault;
        c.radio = item.radio;
        if (item.flags & MF_POPUP) {
            c.className = u"Popup";
            out.push_back(c);
            if (item.sub != menu)
                menuView(item.sub, c.text + u">", out);
        } else {
            c.className = u"MenuItem";
            c.id = static_cast<int>(item.id);
            out.push_back(c);
        }
    }
}

std::vector<MenuNode> SimPc::Impl::menuTree(HMenu menu, int depth) const {
    std::vector<MenuNode> out;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 16)
        return out;
    for (const auto& item : it->second.items) {
        MenuNode n;
        n.separator = (item.flags & MF_SEPARATOR) != 0;
        n.text = n.separator ? String() : withoutAccelerators(item.text);
        n.enabled = !(item.flags & (MF_GRAYED | win::kMfDisabled));
        n.checked = item.checked;
        n.radio = item.radio;
        n.isDefault = item.isDefault;
        n.popup = (item.flags & MF_POPUP) != 0;
        if (n.popup) {
            if (item.sub != menu)
                n.items = menuTree(item.sub, depth + 1);
        } else if (!n.separator) {
            n.id = static_cast<std::uint32_t>(item.id);
        }
        out.push_back(std::move(n));
    }
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
        frame.serial = nextFrameSerial++;
        frame.kind = ModalKind::Dialog;
        frame.window = hwnd;
        frame.thread = self;
        window(hwnd)->modal = &frame;
        // A modal dialog disables its owner while it runs.
        if (Window* o = window(parent)) {
            ownerWasEnabled = o->enabled;
            o->enabled = false;
        }
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
        openFrames.erase(std::remove(openFrames.begin(), openFrames.end(), &frame),
                         openFrames.end());
        if (Window* d = window(hwnd)) {
            journal("window destroyed: " + narrow(d->className) + "/" + narrow(d->title) +
                    " (result " + std::to_string(frame.result) + ")");
            d->modal = nullptr;
            d->target = nullptr;
            destroyWindowLocked(hwnd);
        }
        if (Window* o = window(parent))
            o->enabled = ownerWasEnabled;
        cv.notify_all();
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

int SimPc::Impl::messageBox(Hwnd owner, const String& text, const String& caption,
                            std::uint32_t style, plat::MessageBoxHook* hook) {
    ModalFrame frame;
    Hwnd hwnd = 0;
    bool ownerWasEnabled = false;
    {
        Lock lk(m);
        ThreadRec* self = current(lk);
        owner = topLevelOf(owner);
        Window& b = newWindow(WindowKind::MessageBox, u"#32770",
                              caption.empty() ? String(u"Error") : caption);
        b.style = win::kWsPopup | win::kWsCaption | win::kWsSysMenu;
        b.exStyle = win::kWsExDlgModalFrame | win::kWsExWindowEdge | win::kWsExControlParent |
                    ((style & win::kMbTopmost) ? win::kWsExTopmost : 0);
        b.owner = owner;
        b.thread = self;
        b.processId = SimPc::kProgramProcessId;
        b.threadId = self->id;
        b.boxText = text;
        b.boxStyle = style;
        hwnd = b.hwnd;
        auto addChild = [&](int id, const String& label, std::uint32_t childStyle) {
            Window& c = newWindow(WindowKind::Control,
                                  id == win::kMessageBoxTextId ? u"Static" : u"Button", label);
            c.style = childStyle | win::kWsChild | WS_VISIBLE;
            c.visible = true;
            c.parent = hwnd;
            c.thread = self;
            c.processId = SimPc::kProgramProcessId;
            c.threadId = self->id;
            c.controlId = id;
            window(hwnd)->children.push_back(c.hwnd);
        };
        addChild(win::kMessageBoxTextId, text, 0);
        auto buttons = boxButtons(style);
        if (style & win::kMbHelp)
            buttons.push_back({static_cast<int>(IDHELP), u"Help"});
        const std::size_t def = (style & win::kMbDefMask) >> 8;
        for (std::size_t i = 0; i < buttons.size(); ++i)
            addChild(buttons[i].id, buttons[i].text,
                     win::kWsTabStop |
                         (i == (def < buttons.size() ? def : 0) ? win::kBsDefPushButton : 0));
        frame.serial = nextFrameSerial++;
        frame.kind = ModalKind::MessageBox;
        frame.window = hwnd;
        frame.thread = self;
        window(hwnd)->modal = &frame;
        if (Window* o = window(owner)) {
            ownerWasEnabled = o->enabled;
            o->enabled = false;
        }
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
        openFrames.erase(std::remove(openFrames.begin(), openFrames.end(), &frame),
                         openFrames.end());
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
        if (Window* o = window(owner))
            o->enabled = ownerWasEnabled;
        cv.notify_all();
    }
    return static_cast<int>(frame.result);
}

bool SimPc::Impl::trackPopupMenu(HMenu menu, Hwnd owner) {
    ModalFrame frame;
    {
        Lock lk(m);
        if (!menus.count(menu))
            return false;
        frame.serial = nextFrameSerial++;
        frame.kind = ModalKind::PopupMenu;
        frame.menu = menu;
        frame.menuOwner = owner;
        frame.thread = current(lk);
    }
    showModal(frame);
    runModal(frame);
    Lock lk(m);
    openFrames.erase(std::remove(openFrames.begin(), openFrames.end(), &frame), openFrames.end());
    if (frame.chosenCommand != 0)
        postLocked(lk, owner, WM_COMMAND, makeWParam(frame.chosenCommand, 0), 0, false);
    else
        journal("popup menu dismissed");
    // The port's own step after TrackPopupMenu, as the Win32 backend takes it.
    postLocked(lk, owner, win::kWmNull, 0, 0, false);
    cv.notify_all();
    return true;
}

// ==================================================================== the port

namespace {

class UiPort final : public plat::UserInterface {
public:
    explicit UiPort(SimPc::Impl& w) : w_(w) {}

    std::intptr_t dialogBox(Module resources, int templateId, Hwnd parent,
                            plat::DialogTarget* target) override {
        return w_.dialogBox(resources, templateId, parent, target);
    }
    bool endDialog(Hwnd dialog, std::intptr_t result) override {
        return w_.endDialog(dialog, result);
    }
    int messageBox(Hwnd owner, const String& text, const String& caption, std::uint32_t style,
                   plat::MessageBoxHook* hook) override {
        return w_.messageBox(owner, text, caption, style, hook);
    }

    std::intptr_t propertySheet(const plat::PropertySheetSpec& request) override {
        return w_.propertySheet(request);
    }
    int activePageIndex(Hwnd sheet) override { return w_.activePageIndex(sheet); }
    plat::MessageSource currentMessageSource() override {
        Lock lk(w_.m);
        return w_.current(lk)->messageSource;
    }

    HMenu loadMenu(Module resources, int menuId) override {
        Lock lk(w_.m);
        const res::ResourceSet* set = w_.resourcesOf(resources);
        const auto items = set ? set->menu(menuId) : std::nullopt;
        if (!items)
            return 0;
        return build(*items, menuId, w_.callerProcess(lk));
    }

    HMenu getSubMenu(HMenu menu, int position) override {
        Lock lk(w_.m);
        auto it = w_.menus.find(menu);
        if (it == w_.menus.end() || position < 0 ||
            static_cast<std::size_t>(position) >= it->second.items.size())
            return 0;
        const MenuItem& item = it->second.items[static_cast<std::size_t>(position)];
        return (item.flags & MF_POPUP) ? item.sub : 0;
    }

    HMenu createPopupMenu() override {
        Lock lk(w_.m);
        const HMenu h = w_.nextMenu;
        w_.nextMenu += 4;
        w_.menus[h].owner = w_.callerProcess(lk);
        return h;
    }

    bool insertMenu(HMenu menu, std::uint32_t position, std::uint32_t flags, std::uintptr_t item,
                    const String& text) override {
        Lock lk(w_.m);
        auto it = w_.menus.find(menu);
        if (it == w_.menus.end())
            return false;
        MenuItem newItem = makeItem(flags, item, text);
        if ((flags & MF_POPUP) && !w_.menus.count(item))
            return false;
        if (flags & MF_BYPOSITION) {
            auto& items = it->second.items;
            const std::size_t at = position >= items.size() ? items.size() : position;
            items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), newItem);
            return true;
        }
        // By command: before the item with that id, wherever it is in the menu's tree.
        Menu* owner = nullptr;
        std::size_t at = 0;
        if (!findCommand(menu, position, owner, at, 0))
            return false;
        owner->items.insert(owner->items.begin() + static_cast<std::ptrdiff_t>(at), newItem);
        return true;
    }

    bool appendMenu(HMenu menu, std::uint32_t flags, std::uintptr_t item,
                    const String& text) override {
        Lock lk(w_.m);
        auto it = w_.menus.find(menu);
        if (it == w_.menus.end() || ((flags & MF_POPUP) && !w_.menus.count(item)))
            return false;
        it->second.items.push_back(makeItem(flags, item, text));
        return true;
    }

    bool checkMenuRadioItem(HMenu menu, std::uint32_t first, std::uint32_t last,
                            std::uint32_t check, std::uint32_t flags) override {
        Lock lk(w_.m);
        if (flags & MF_BYPOSITION) {
            auto it = w_.menus.find(menu);
            if (it == w_.menus.end())
                return false;
            auto& items = it->second.items;
            if (check >= items.size() || check < first || check > last)
                return false;
            for (std::uint32_t i = first; i <= last && i < items.size(); ++i)
                mark(items[i], i == check);
            return true;
        }
        Menu* owner = nullptr;
        std::size_t at = 0;
        if (!findCommand(menu, check, owner, at, 0) || check < first || check > last)
            return false;
        for (auto& item : owner->items)
            if (!(item.flags & MF_POPUP) && item.id >= first && item.id <= last)
                mark(item, item.id == check);
        return true;
    }

    bool setMenuDefaultItem(HMenu menu, std::uint32_t item, bool byPosition) override {
        Lock lk(w_.m);
        auto it = w_.menus.find(menu);
        if (it == w_.menus.end())
            return false;
        auto& items = it->second.items;
        MenuItem* chosen = nullptr;
        if (item != 0xFFFFFFFFu) {
            for (std::size_t i = 0; i < items.size(); ++i)
                if (byPosition ? i == item : (!(items[i].flags & MF_POPUP) && items[i].id == item))
                    chosen = &items[i];
            if (!chosen)
                return false;
        }
        for (auto& i : items)
            i.isDefault = false;
        if (chosen)
            chosen->isDefault = true;
        return true;
    }

    bool trackPopupMenu(HMenu menu, std::uint32_t, plat::Point, Hwnd owner) override {
        return w_.trackPopupMenu(menu, owner);
    }

    bool destroyMenu(HMenu menu) override {
        Lock lk(w_.m);
        return destroy(menu, 0);
    }

    bool shellNotifyIcon(std::uint32_t message, const plat::NotifyIconData& data) override {
        Lock lk(w_.m);
        auto it = std::find_if(w_.trayIcons.begin(), w_.trayIcons.end(), [&](const TrayIcon& t) {
            return t.window == data.window && t.id == data.id;
        });
        auto iconName = [&](plat::HIcon icon) {
            auto id = w_.iconIds.find(icon);
            return id == w_.iconIds.end() ? std::string("(no icon)")
                                          : "icon " + std::to_string(id->second);
        };
        switch (message) {
        case NIM_ADD: {
            if (it != w_.trayIcons.end() || !w_.window(data.window))
                return false;
            TrayIcon icon;
            icon.window = data.window;
            icon.id = data.id;
            apply(icon, data);
            w_.trayIcons.push_back(icon);
            w_.journal("tray icon added: \"" + narrow(icon.tip) + "\", " + iconName(icon.icon));
            return true;
        }
        case NIM_MODIFY: {
            if (it == w_.trayIcons.end())
                return false;
            const plat::HIcon before = it->icon;
            apply(*it, data);
            if (it->icon != before)
                w_.journal("tray icon changed: " + iconName(it->icon));
            return true;
        }
        case NIM_DELETE:
            if (it == w_.trayIcons.end())
                return false;
            w_.trayIcons.erase(it);
            w_.journal("tray icon removed");
            return true;
        default:
            return false;
        }
    }

private:
    // The checked item becomes a radio item; the others lose their check but keep the radio
    // type they had (as Windows does, whatever its documentation says).
    static void mark(MenuItem& item, bool checked) {
        item.checked = checked;
        if (checked)
            item.radio = true;
    }

    static void apply(TrayIcon& icon, const plat::NotifyIconData& data) {
        if (data.flags & NIF_MESSAGE)
            icon.callbackMessage = data.callbackMessage;
        if (data.flags & NIF_ICON)
            icon.icon = data.icon;
        if (data.flags & NIF_TIP)
            icon.tip = data.tip.substr(0, 63); // szTip holds 64 characters with the terminator
    }

    static MenuItem makeItem(std::uint32_t flags, std::uintptr_t item, const String& text) {
        MenuItem m;
        m.flags = flags;
        m.text = (flags & MF_SEPARATOR) ? String() : text;
        if (flags & MF_POPUP)
            m.sub = item;
        else
            m.id = item;
        m.checked = (flags & win::kMfChecked) != 0;
        return m;
    }

    HMenu build(const std::vector<res::MenuTemplateItem>& items, int resourceId,
                std::uint32_t owner) {
        const HMenu h = w_.nextMenu;
        w_.nextMenu += 4;
        Menu menu;
        menu.resourceId = resourceId;
        menu.owner = owner;
        for (const auto& t : items) {
            MenuItem m;
            m.text = t.text;
            m.checked = t.checked;
            if (t.grayed)
                m.flags |= MF_GRAYED;
            if (t.separator) {
                m.flags |= MF_SEPARATOR;
            } else if (t.popup) {
                m.flags |= MF_POPUP;
                m.sub = build(t.children, resourceId, owner);
            } else {
                m.id = t.id;
            }
            menu.items.push_back(m);
        }
        w_.menus[h] = std::move(menu);
        return h;
    }

    bool findCommand(HMenu menu, std::uintptr_t id, Menu*& owner, std::size_t& at, int depth) {
        auto it = w_.menus.find(menu);
        if (it == w_.menus.end() || depth > 16)
            return false;
        auto& items = it->second.items;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!(items[i].flags & (MF_POPUP | MF_SEPARATOR)) && items[i].id == id) {
                owner = &it->second;
                at = i;
                return true;
            }
            if ((items[i].flags & MF_POPUP) && findCommand(items[i].sub, id, owner, at, depth + 1))
                return true;
        }
        return false;
    }

    bool destroy(HMenu menu, int depth) {
        auto it = w_.menus.find(menu);
        if (it == w_.menus.end() || depth > 16)
            return false;
        const auto items = it->second.items;
        w_.menus.erase(it);
        for (const auto& item : items)
            if (item.flags & MF_POPUP)
                destroy(item.sub, depth + 1);
        return true;
    }

    SimPc::Impl& w_;
};

} // namespace

std::unique_ptr<plat::UserInterface> makeUiPort(SimPc::Impl& w) {
    return std::make_unique<UiPort>(w);
}

} // namespace sim
