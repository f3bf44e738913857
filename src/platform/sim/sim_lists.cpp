// The list box and the combo box of the simulated dialog manager: their items, selection and
// item data, under the messages of either class.
#include "sim_lists.h"

#include <algorithm>
#include <optional>

namespace sim {

String textFrom(LParam lParam) {
    const auto* p = reinterpret_cast<const char16_t*>(lParam);
    return p ? String(p) : String();
}

namespace {

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

// The list box and combo box messages share their meaning under different numbers.
std::uint32_t listOp(bool list, std::uint32_t msg) {
    return list                             ? msg
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
}

// A combo box shows its selected item in its own text.
void setSelection(Window& w, bool combo, LResult index) {
    w.selection = static_cast<int>(index);
    if (combo)
        w.title = index >= 0 ? w.items[static_cast<std::size_t>(index)] : String();
}

// The messages that change the items or the selection; nothing when `op` is none of them.
std::optional<LResult> listEdit(Window& control, bool combo, bool sorted, std::uint32_t op,
                                WParam wParam, LParam lParam) {
    Window* w = &control;
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
            setSelection(*w, combo, -1);
        else if (w->selection > index)
            --w->selection;
        return static_cast<LResult>(w->items.size());
    }
    case LB_RESETCONTENT:
        w->items.clear();
        w->itemData.clear();
        setSelection(*w, combo, -1);
        return 0;
    case LB_SETCURSEL:
        // -1 clears the selection. An index past the end is refused: a list box keeps its
        // selection, a combo box clears it as it does for -1 (CB_SETCURSEL's own rule).
        if (static_cast<std::intptr_t>(wParam) == -1) {
            setSelection(*w, combo, -1);
            return win::kLbErr;
        }
        if (!validIndex(*w, wParam)) {
            if (combo)
                setSelection(*w, combo, -1);
            return win::kLbErr;
        }
        setSelection(*w, combo, static_cast<LResult>(wParam));
        return static_cast<LResult>(wParam);
    default:
        return std::nullopt;
    }
}

} // namespace

LResult listControlProc(Window& control, bool list, std::uint32_t msg, WParam wParam,
                        LParam lParam) {
    Window* w = &control;
    const bool combo = !list;
    const bool sorted = (w->style & (list ? win::kLbsSort : win::kCbsSort)) != 0;
    w->itemData.resize(w->items.size());
    const std::uint32_t op = listOp(list, msg);
    if (const auto edited = listEdit(*w, combo, sorted, op, wParam, lParam))
        return *edited;
    switch (op) {
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
            setSelection(*w, combo, index);
        return index;
    }
    default:
        return 0;
    }
}

} // namespace sim
