// Window procedures of the simulated dialog manager and its controls: what DefDlgProc, the
// message box and the predefined control classes do with the messages the program sends.
#include "sim_world.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// Texts arrive as const char16_t* in lParam; a null pointer reads as empty.
String textFrom(LParam lParam) {
    const auto* p = reinterpret_cast<const char16_t*>(lParam);
    return p ? String(p) : String();
}

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

// LB_GETTEXT and CB_GETLBTEXT trust the caller's buffer to hold the item, as Windows does.
LResult copyItem(const String& text, LParam lParam) {
    auto* out = reinterpret_cast<char16_t*>(lParam);
    if (!out)
        return win::kLbErr;
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = u'\0';
    return static_cast<LResult>(text.size());
}

bool validIndex(const Window& w, WParam index) {
    return static_cast<std::size_t>(index) < w.items.size();
}

// Sorted list and combo boxes find the place by a binary search, as the list box does: an
// item equal to the new one (ignoring case) is where it goes, before that item.
std::size_t sortedPosition(const std::vector<String>& items, const String& text) {
    std::ptrdiff_t low = 0;
    std::ptrdiff_t high = static_cast<std::ptrdiff_t>(items.size()) - 1;
    while (low <= high) {
        const std::ptrdiff_t middle = (low + high) / 2;
        const int order = compareForSort(items[static_cast<std::size_t>(middle)], text);
        if (order == 0)
            return static_cast<std::size_t>(middle);
        if (order > 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return static_cast<std::size_t>(low);
}

LResult findExact(const Window& w, WParam start, const String& text) {
    const std::size_t n = w.items.size();
    if (n == 0)
        return win::kLbErr;
    const String key = foldCase(text);
    const std::size_t first = static_cast<std::intptr_t>(start) < 0 || start >= n ? 0 : start + 1;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (first + k) % n;
        if (foldCase(w.items[i]) == key)
            return static_cast<LResult>(i);
    }
    return win::kLbErr;
}

LResult findPrefix(const Window& w, WParam start, const String& text) {
    const std::size_t n = w.items.size();
    const String key = foldCase(text);
    const std::size_t first = static_cast<std::intptr_t>(start) < 0 || start >= n ? 0 : start + 1;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (first + k) % n;
        if (foldCase(w.items[i]).compare(0, key.size(), key) == 0)
            return static_cast<LResult>(i);
    }
    return win::kLbErr;
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
        switch (msg) {
        case BM_GETCHECK:
            return w->checked;
        case BM_SETCHECK:
            w->checked = static_cast<int>(wParam);
            return 0;
        case BM_CLICK:
            lk.unlock();
            click(hwnd);
            return 0;
        default:
            return 0;
        }
    }
    if (cls == u"edit") {
        if (msg == win::kEmLimitText)
            w->textLimit = static_cast<std::uint32_t>(wParam);
        return 0;
    }

    const bool list = cls == u"listbox";
    const bool combo = cls == u"combobox";
    if (!list && !combo)
        return 0;
    const bool sorted = (w->style & (list ? win::kLbsSort : win::kCbsSort)) != 0;
    w->itemData.resize(w->items.size());
    auto select = [&](LResult index) {
        w->selection = static_cast<int>(index);
        if (combo)
            w->title = index >= 0 ? w->items[static_cast<std::size_t>(index)] : String();
    };
    // The list box and combo box messages share their meaning under different numbers.
    const std::uint32_t op = list                             ? msg
                             : msg == CB_ADDSTRING            ? LB_ADDSTRING
                             : msg == win::kCbInsertString    ? win::kLbInsertString
                             : msg == win::kCbDeleteString    ? win::kLbDeleteString
                             : msg == CB_RESETCONTENT         ? LB_RESETCONTENT
                             : msg == CB_SETCURSEL            ? LB_SETCURSEL
                             : msg == CB_GETCURSEL            ? LB_GETCURSEL
                             : msg == CB_GETLBTEXT            ? LB_GETTEXT
                             : msg == CB_GETLBTEXTLEN         ? LB_GETTEXTLEN
                             : msg == CB_GETCOUNT             ? LB_GETCOUNT
                             : msg == win::kCbFindStringExact ? win::kLbFindStringExact
                             : msg == win::kCbSelectString    ? win::kLbSelectString
                             : msg == win::kCbGetItemData     ? win::kLbGetItemData
                             : msg == win::kCbSetItemData     ? win::kLbSetItemData
                                                              : 0;
    auto insertAt = [&](std::size_t at, const String& text) {
        w->items.insert(w->items.begin() + static_cast<std::ptrdiff_t>(at), text);
        w->itemData.insert(w->itemData.begin() + static_cast<std::ptrdiff_t>(at), 0);
        if (w->selection >= static_cast<int>(at))
            ++w->selection;
        return static_cast<LResult>(at);
    };
    switch (op) {
    case LB_ADDSTRING: {
        const String text = textFrom(lParam);
        return insertAt(sorted ? sortedPosition(w->items, text) : w->items.size(), text);
    }
    case win::kLbInsertString: {
        const auto index = static_cast<std::intptr_t>(wParam);
        if (index > static_cast<std::intptr_t>(w->items.size()))
            return win::kLbErr;
        return insertAt(index < 0 ? w->items.size() : static_cast<std::size_t>(index),
                        textFrom(lParam));
    }
    case win::kLbDeleteString: {
        if (!validIndex(*w, wParam))
            return win::kLbErr;
        const int index = static_cast<int>(wParam);
        w->items.erase(w->items.begin() + index);
        w->itemData.erase(w->itemData.begin() + index);
        if (w->selection == index)
            select(-1);
        else if (w->selection > index)
            --w->selection;
        return static_cast<LResult>(w->items.size());
    }
    case LB_RESETCONTENT:
        w->items.clear();
        w->itemData.clear();
        select(-1);
        return 0;
    case LB_SETCURSEL:
        // -1 clears the selection. An index past the end is refused: a list box keeps its
        // selection, a combo box clears it as it does for -1 (CB_SETCURSEL's own rule).
        if (static_cast<std::intptr_t>(wParam) == -1) {
            select(-1);
            return win::kLbErr;
        }
        if (!validIndex(*w, wParam)) {
            if (combo)
                select(-1);
            return win::kLbErr;
        }
        select(static_cast<LResult>(wParam));
        return static_cast<LResult>(wParam);
    case win::kLbGetItemData:
        return validIndex(*w, wParam) ? w->itemData[wParam] : win::kLbErr;
    case win::kLbSetItemData:
        if (!validIndex(*w, wParam))
            return win::kLbErr;
        w->itemData[wParam] = lParam;
        return TRUE;
    case LB_GETCURSEL:
        return w->selection < 0 ? win::kLbErr : w->selection;
    case LB_GETTEXT:
        return validIndex(*w, wParam) ? copyItem(w->items[wParam], lParam) : win::kLbErr;
    case LB_GETTEXTLEN:
        return validIndex(*w, wParam) ? static_cast<LResult>(w->items[wParam].size()) : win::kLbErr;
    case LB_GETCOUNT:
        return static_cast<LResult>(w->items.size());
    case win::kLbFindStringExact:
        return findExact(*w, wParam, textFrom(lParam));
    case win::kLbSelectString: {
        const LResult index = findPrefix(*w, wParam, textFrom(lParam));
        if (index != win::kLbErr)
            select(index);
        return index;
    }
    default:
        return 0;
    }
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
