// Menus and the notification-area icon of the Win32 user interface.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstddef>

#include "win32_internal.h"

namespace plat::win32 {

HMenu Win32UserInterface::loadMenu(Module resources, int menuId) {
    return fromMenu(
        ::LoadMenuW(reinterpret_cast<HINSTANCE>(toModule(resources)), MAKEINTRESOURCEW(menuId)));
}

HMenu Win32UserInterface::getSubMenu(HMenu menu, int position) {
    return fromMenu(::GetSubMenu(toMenu(menu), position));
}

HMenu Win32UserInterface::createPopupMenu() {
    return fromMenu(::CreatePopupMenu());
}

bool Win32UserInterface::insertMenu(HMenu menu, std::uint32_t position, std::uint32_t flags,
                                    std::uintptr_t item, const String& text) {
    return ::InsertMenuW(toMenu(menu), position, flags, item, wide(text).c_str());
}

bool Win32UserInterface::appendMenu(HMenu menu, std::uint32_t flags, std::uintptr_t item,
                                    const String& text) {
    return ::AppendMenuW(toMenu(menu), flags, item, wide(text).c_str());
}

bool Win32UserInterface::checkMenuRadioItem(HMenu menu, std::uint32_t first, std::uint32_t last,
                                            std::uint32_t check, std::uint32_t flags) {
    return ::CheckMenuRadioItem(toMenu(menu), first, last, check, flags);
}

bool Win32UserInterface::setMenuDefaultItem(HMenu menu, std::uint32_t item, bool byPosition) {
    return ::SetMenuDefaultItem(toMenu(menu), item, byPosition ? TRUE : FALSE);
}

bool Win32UserInterface::trackPopupMenu(HMenu menu, std::uint32_t flags, Point at, Hwnd owner) {
    const BOOL shown = ::TrackPopupMenu(toMenu(menu), flags, at.x, at.y, 0, toHwnd(owner), nullptr);
    // A menu opened from a notification icon does not close on the next click elsewhere
    // unless its owner gets a message after TrackPopupMenu returns.
    ::PostMessageW(toHwnd(owner), WM_NULL, 0, 0);
    return shown;
}

bool Win32UserInterface::destroyMenu(HMenu menu) {
    return ::DestroyMenu(toMenu(menu));
}

NOTIFYICONDATAW toNotifyIconData(const NotifyIconData& data) {
    NOTIFYICONDATAW record{};
    // The first record layout: callback message, icon and a 64-character tip.
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = toHwnd(data.window);
    record.uID = data.id;
    record.uFlags = data.flags;
    record.uCallbackMessage = data.callbackMessage;
    record.hIcon = toIcon(data.icon);
    constexpr std::size_t kTipChars = 63; // the first layout's tip holds 64 with the NUL
    const std::size_t n = std::min(data.tip.size(), kTipChars);
    std::copy_n(data.tip.data(), n, record.szTip);
    record.szTip[n] = L'\0';
    return record;
}

bool Win32UserInterface::shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) {
    NOTIFYICONDATAW record = toNotifyIconData(data);
    return ::Shell_NotifyIconW(message, &record);
}

} // namespace plat::win32
