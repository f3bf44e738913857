// Window procedures of the simulated dialog manager and its controls: what DefDlgProc, the
// message box and the predefined control classes do with the messages the program sends.
#include "sim_lists.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// WM_GETTEXT: at most size - 1 characters and a terminator; the count copied.
LResult copyText(const String& text, WParam size, LParam lParam) {
    auto* out = reinterpret_cast<char16_t*>(lParam);
    if (!out || size == 0)
        return 0;
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.data(), n, out);
    out[n] = u'\0';
    return static_cast<LResult>(n);
}

bool isRadio(const Window& w) {
    const auto type = w.style & win::kBsTypeMask;
    return type == win::kBsRadioButton || type == win::kBsAutoRadioButton;
}

} // namespace

LResult SimPc::Impl::defDialogProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    switch (msg) {
    case WM_CLOSE: {
        // DefDlgProc turns the close box into the Cancel command, posted.
        Lock lk(m);
        Hwnd cancel = 0;
        if (const Window* w = window(hwnd))
            for (Hwnd child : w->children)
                if (const Window* c = window(child); c && c->controlId == IDCANCEL)
                    cancel = child;
        postLocked(lk, hwnd, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED),
                   static_cast<LParam>(cancel), false);
        return 0;
    }
    case WM_HELP: {
        // DefWindowProc hands a help request on to the parent of a child window (a page's
        // to its sheet), or to the owner of a top-level one.
        Hwnd next = 0;
        {
            Lock lk(m);
            if (const Window* w = window(hwnd))
                next = w->parent ? w->parent : w->owner;
        }
        return next ? callWindowProc(next, msg, wParam, lParam) : 0;
    }
    case DM_GETDEFID: {
        const int id = defaultButtonId(hwnd);
        return id ? static_cast<LResult>(
                        makeWParam(static_cast<std::uint32_t>(id), win::kDcHasDefId))
                  : 0;
    }
    case win::kDmSetDefId:
        setDefaultButton(hwnd, static_cast<int>(loWord(wParam)));
        return TRUE;
    case WM_SETTEXT: {
        Lock lk(m);
        if (Window* w = window(hwnd))
            w->title = textFrom(lParam);
        return TRUE;
    }
    case WM_GETTEXT: {
        Lock lk(m);
        const Window* w = window(hwnd);
        return w ? copyText(w->title, wParam, lParam) : 0;
    }
    case win::kWmGetTextLength: {
        Lock lk(m);
        const Window* w = window(hwnd);
        return w ? static_cast<LResult>(w->title.size()) : 0;
    }
    default:
        return 0;
    }
}

int SimPc::Impl::defaultButtonId(Hwnd dialog) {
    Lock lk(m);
    const Window* d = window(dialog);
    if (!d)
        return 0;
    if (d->defId)
        return d->defId;
    for (Hwnd child : d->children) {
        const Window* c = window(child);
        if (c && foldCase(c->className) == u"button" &&
            (c->style & win::kBsTypeMask) == win::kBsDefPushButton)
            return c->controlId;
    }
    return 0;
}

void SimPc::Impl::setDefaultButton(Hwnd dialog, int id) {
    Lock lk(m);
    Window* d = window(dialog);
    if (!d)
        return;
    d->defId = id;
    // The push button that had the default frame loses it, the new one gets it.
    for (Hwnd child : d->children) {
        Window* c = window(child);
        if (!c || foldCase(c->className) != u"button")
            continue;
        const std::uint32_t type = c->style & win::kBsTypeMask;
        if (type == win::kBsDefPushButton && c->controlId != id)
            c->style = (c->style & ~win::kBsTypeMask) | win::kBsPushButton;
        else if (type == win::kBsPushButton && c->controlId == id)
            c->style = (c->style & ~win::kBsTypeMask) | win::kBsDefPushButton;
    }
}

LResult SimPc::Impl::controlProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    Lock lk(m);
    Window* w = window(hwnd);
    if (!w)
        return 0;
    const String cls = foldCase(w->className);
    const Hwnd parent = w->parent;
    const int id = w->controlId;

    switch (msg) {
    case win::kStmGetImage:
        return wParam == win::kImageBitmap ? static_cast<LResult>(w->image) : 0;
    case WM_HELP:
        // DefWindowProc hands a help request on to the control's parent.
        lk.unlock();
        return parent ? callWindowProc(parent, msg, wParam, lParam) : 0;
    case WM_SETTEXT: {
        // A drop-down list shows its selected item and has no text of its own to set.
        if (cls == u"combobox" && (w->style & win::kCbsTypeMask) == win::kCbsDropDownList)
            return win::kLbErr;
        w->title = textFrom(lParam);
        if (cls == u"edit") {
            // Edit controls report every change of their text, also the program's own.
            lk.unlock();
            callWindowProc(parent, WM_COMMAND,
                           makeWParam(static_cast<std::uint32_t>(id), win::kEnChange),
                           static_cast<LParam>(hwnd));
        }
        return TRUE;
    }
    case WM_GETTEXT:
        return copyText(w->title, wParam, lParam);
    case win::kWmGetTextLength:
        return static_cast<LResult>(w->title.size());
    default:
        break;
    }

    if (cls == u"button") {
        if (msg == BM_GETCHECK)
            return w->checked;
        if (msg == BM_SETCHECK)
            w->checked = static_cast<int>(wParam);
        if (msg == BM_CLICK) {
            lk.unlock();
            click(hwnd);
        }
        return 0;
    }
    if (cls == u"edit") {
        if (msg == win::kEmLimitText)
            w->textLimit = static_cast<std::uint32_t>(wParam);
        return 0;
    }

    if (cls != u"listbox" && cls != u"combobox")
        return 0;
    return listControlProc(*w, cls == u"listbox", msg, wParam, lParam);
}

void SimPc::Impl::click(Hwnd control) {
    Hwnd parent = 0;
    int id = 0;
    {
        Lock lk(m);
        Window* w = window(control);
        if (!w)
            return;
        parent = w->parent;
        id = w->controlId;
        if (foldCase(w->className) == u"button") {
            switch (w->style & win::kBsTypeMask) {
            case win::kBsAutoCheckBox:
                w->checked = w->checked ? 0 : 1;
                break;
            case win::kBsAuto3State:
                w->checked = (w->checked + 1) % 3;
                break;
            case win::kBsAutoRadioButton: {
                // The other radio buttons of its group (from one WS_GROUP control to the next).
                Window* p = window(parent);
                if (!p)
                    break;
                const auto& kids = p->children;
                const auto self = std::find(kids.begin(), kids.end(), control) - kids.begin();
                std::ptrdiff_t first = self;
                while (first > 0) {
                    const Window* c = window(kids[static_cast<std::size_t>(first)]);
                    if (c && (c->style & win::kWsGroup))
                        break;
                    --first;
                }
                for (std::size_t i = static_cast<std::size_t>(first); i < kids.size(); ++i) {
                    Window* c = window(kids[i]);
                    if (!c)
                        continue;
                    if (i > static_cast<std::size_t>(self) && (c->style & win::kWsGroup))
                        break;
                    if (isRadio(*c) && foldCase(c->className) == u"button")
                        c->checked = 0;
                }
                w->checked = 1;
                break;
            }
            default:
                break;
            }
        }
    }
    callWindowProc(parent, WM_COMMAND, makeWParam(static_cast<std::uint32_t>(id), BN_CLICKED),
                   static_cast<LParam>(control));
}

LResult SimPc::Impl::messageBoxProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam) {
    Lock lk(m);
    Window* box = window(hwnd);
    if (!box)
        return 0;
    auto hasButton = [&](int id) {
        for (Hwnd child : box->children)
            if (const Window* c = window(child);
                c && c->controlId == id && c->controlId != win::kMessageBoxTextId)
                return true;
        return false;
    };
    switch (msg) {
    case WM_CLOSE:
        postLocked(lk, hwnd, WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), 0, false);
        return 0;
    case WM_COMMAND: {
        int id = static_cast<int>(loWord(wParam));
        // Escape and the close box mean Cancel; a box without one is closed by them only when
        // OK is its single button, and then answers OK.
        if (id == static_cast<int>(IDCANCEL) && !hasButton(IDCANCEL)) {
            if ((box->boxStyle & MB_TYPEMASK) != MB_OK)
                return 0;
            id = IDOK;
        }
        if (hasButton(id) && box->modal)
            endFrame(*box->modal, id);
        return 0;
    }
    case WM_SETTEXT:
        box->title = textFrom(lParam);
        return TRUE;
    case WM_GETTEXT:
        return copyText(box->title, wParam, lParam);
    case win::kWmGetTextLength:
        return static_cast<LResult>(box->title.size());
    default:
        return 0;
    }
}

} // namespace sim
