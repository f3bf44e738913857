// Menus: the port's menu calls, the popup menu as a modal, what the user sees of a menu and
// how the scripted user picks an item of it.
#include "sim_ui_shared.h"

#include "text.h"

#include <algorithm>

namespace sim {

// ==================================================================== the port's menus

HMenu UiPort::loadMenu(Module resources, int menuId) {
    Lock lk(w_.m);
    const res::ResourceSet* set = w_.resourcesOf(resources);
    const auto items = set ? set->menu(menuId) : std::nullopt;
    if (!items)
        return 0;
    return build(*items, menuId, w_.callerProcess(lk));
}

HMenu UiPort::getSubMenu(HMenu menu, int position) {
    Lock lk(w_.m);
    auto it = w_.menus.find(menu);
    if (it == w_.menus.end() || position < 0 ||
        static_cast<std::size_t>(position) >= it->second.items.size())
        return 0;
    const MenuItem& item = it->second.items[static_cast<std::size_t>(position)];
    return (item.flags & MF_POPUP) ? item.sub : 0;
}

HMenu UiPort::createPopupMenu() {
    Lock lk(w_.m);
    const HMenu h = w_.nextMenu;
    w_.nextMenu += 4;
    w_.menus[h].owner = w_.callerProcess(lk);
    return h;
}

bool UiPort::insertMenu(HMenu menu, std::uint32_t position, std::uint32_t flags,
                        std::uintptr_t item, const String& text) {
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

bool UiPort::appendMenu(HMenu menu, std::uint32_t flags, std::uintptr_t item, const String& text) {
    Lock lk(w_.m);
    auto it = w_.menus.find(menu);
    if (it == w_.menus.end() || ((flags & MF_POPUP) && !w_.menus.count(item)))
        return false;
    it->second.items.push_back(makeItem(flags, item, text));
    return true;
}

bool UiPort::checkMenuRadioItem(HMenu menu, std::uint32_t first, std::uint32_t last,
                                std::uint32_t check, std::uint32_t flags) {
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

bool UiPort::setMenuDefaultItem(HMenu menu, std::uint32_t item, bool byPosition) {
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

bool UiPort::trackPopupMenu(HMenu menu, std::uint32_t, plat::Point, Hwnd owner) {
    return w_.trackPopupMenu(menu, owner);
}

bool UiPort::destroyMenu(HMenu menu) {
    Lock lk(w_.m);
    return destroy(menu, 0);
}

void UiPort::mark(MenuItem& item, bool checked) {
    item.checked = checked;
    if (checked)
        item.radio = true;
}

MenuItem UiPort::makeItem(std::uint32_t flags, std::uintptr_t item, const String& text) {
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

HMenu UiPort::build(const std::vector<res::MenuTemplateItem>& items, int resourceId,
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

bool UiPort::findCommand(HMenu menu, std::uintptr_t id, Menu*& owner, std::size_t& at, int depth) {
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

bool UiPort::destroy(HMenu menu, int depth) {
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

// ==================================================================== the popup menu as a modal

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

// ==================================================================== the scripted user's choice

void SimModalContext::chooseMenuItem(const String& path) {
    std::vector<String> labels(1);
    for (char16_t c : path) {
        if (c == u'>')
            labels.emplace_back();
        else
            labels.back() += c;
    }
    chooseMenuPath(labels);
}

void SimModalContext::chooseMenuPath(const std::vector<String>& labels) {
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
                if (!found && !(item.flags & MF_SEPARATOR) && sameLabel(item.text, labels[level]))
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

void SimModalContext::chooseCommand(std::uint32_t id) {
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

void SimModalContext::choose(std::uint32_t id, const String& path) {
    Lock lk(w_.m);
    w_.journal("chose menu item: " + narrow(path));
    f_.chosenCommand = id;
    f_.chosenText = path;
    w_.endFrame(f_, 1);
}

void SimModalContext::dismissMenu() {
    Lock lk(w_.m);
    w_.endFrame(f_, 0);
}

} // namespace sim
