#include <windows.h>

#include <dbt.h>

#include <vector>

#include "win32_internal.h"

namespace plat::win32 {

Hwnd Win32Desktop::findWindow(const String* className, const String* title) {
    const std::wstring cls = className ? wide(*className) : std::wstring();
    const std::wstring text = title ? wide(*title) : std::wstring();
    return fromHwnd(
        ::FindWindowW(className ? cls.c_str() : nullptr, title ? text.c_str() : nullptr));
}

bool Win32Desktop::postMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) {
    return ::PostMessageW(toHwnd(window), msg, wParam, lParam);
}

LResult Win32Desktop::sendMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) {
    return ::SendMessageW(toHwnd(window), msg, wParam, lParam);
}

bool Win32Desktop::sendMessageTimeout(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam,
                                      std::uint32_t flags, std::uint32_t milliseconds,
                                      LResult& result) {
    DWORD_PTR answer = 0;
    const LRESULT sent = ::SendMessageTimeoutW(toHwnd(window), msg, wParam, lParam, flags,
                                               milliseconds, &answer);
    result = sent ? static_cast<LResult>(answer) : 0;
    return sent != 0;
}

bool Win32Desktop::isWindow(Hwnd window) {
    return ::IsWindow(toHwnd(window));
}

bool Win32Desktop::setForegroundWindow(Hwnd window) {
    return ::SetForegroundWindow(toHwnd(window));
}

Hwnd Win32Desktop::getForegroundWindow() {
    return fromHwnd(::GetForegroundWindow());
}

// ShowWindow answers whether the window was visible before, not whether it succeeded.
bool Win32Desktop::showWindow(Hwnd window, std::uint32_t command) {
    return ::ShowWindow(toHwnd(window), static_cast<int>(command));
}

bool Win32Desktop::isWindowVisible(Hwnd window) {
    return ::IsWindowVisible(toHwnd(window));
}

bool Win32Desktop::setWindowText(Hwnd window, const String& text) {
    return ::SetWindowTextW(toHwnd(window), wide(text).c_str());
}

String Win32Desktop::getWindowText(Hwnd window) {
    const int length = ::GetWindowTextLengthW(toHwnd(window));
    if (length <= 0)
        return {};
    // The length may overstate (DBCS rules) but never understate; one more for the NUL.
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const int copied =
        ::GetWindowTextW(toHwnd(window), buffer.data(), static_cast<int>(buffer.size()));
    return fromWide(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

std::uint32_t Win32Desktop::getExStyle(Hwnd window) {
    return static_cast<std::uint32_t>(::GetWindowLongPtrW(toHwnd(window), GWL_EXSTYLE));
}

void Win32Desktop::setExStyle(Hwnd window, std::uint32_t exStyle) {
    ::SetWindowLongPtrW(toHwnd(window), GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
}

// As EnableWindow: true when the window was disabled before the call.
bool Win32Desktop::enableWindow(Hwnd window, bool enable) {
    return ::EnableWindow(toHwnd(window), enable);
}

bool Win32Desktop::isWindowEnabled(Hwnd window) {
    return ::IsWindowEnabled(toHwnd(window));
}

bool Win32Desktop::getWindowPlacement(Hwnd window, WindowPlacement& placement) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    if (!::GetWindowPlacement(toHwnd(window), &wp))
        return false;
    placement.normalPosition = {wp.rcNormalPosition.left, wp.rcNormalPosition.top,
                                wp.rcNormalPosition.right, wp.rcNormalPosition.bottom};
    return true;
}

bool Win32Desktop::setWindowPlacement(Hwnd window, const WindowPlacement& placement) {
    // Keep the window's show state and minimised/maximised positions; move only its normal
    // rectangle.
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    if (!::GetWindowPlacement(toHwnd(window), &wp))
        return false;
    const Rect& r = placement.normalPosition;
    wp.rcNormalPosition = RECT{r.left, r.top, r.right, r.bottom};
    wp.flags = 0;
    return ::SetWindowPlacement(toHwnd(window), &wp);
}

Hwnd Win32Desktop::getDlgItem(Hwnd dialog, int controlId) {
    return fromHwnd(::GetDlgItem(toHwnd(dialog), controlId));
}

std::uint32_t Win32Desktop::getWindowThreadProcessId(Hwnd window, std::uint32_t* processId) {
    DWORD pid = 0;
    const DWORD thread = ::GetWindowThreadProcessId(toHwnd(window), &pid);
    if (processId)
        *processId = pid;
    return thread;
}

std::uintptr_t Win32Desktop::setTimer(Hwnd window, std::uintptr_t id, std::uint32_t milliseconds) {
    return ::SetTimer(toHwnd(window), id, milliseconds, nullptr);
}

bool Win32Desktop::killTimer(Hwnd window, std::uintptr_t id) {
    return ::KillTimer(toHwnd(window), id);
}

Point Win32Desktop::getCursorPos() {
    POINT p{};
    if (!::GetCursorPos(&p))
        return {};
    return {p.x, p.y};
}

std::uint32_t Win32Desktop::registerWindowMessage(const String& name) {
    return ::RegisterWindowMessageW(wide(name).c_str());
}

bool allowMessageThrough(ChangeMessageFilterFn change, Hwnd window, std::uint32_t msg) {
    // For this window only (Windows 7 on), unlike ChangeWindowMessageFilter's whole process.
    return change(toHwnd(window), msg, MSGFLT_ALLOW, nullptr);
}

bool Win32Desktop::allowMessageFromLowerIntegrity(Hwnd window, std::uint32_t msg) {
    return allowMessageThrough(::ChangeWindowMessageFilterEx, window, msg);
}

Handle Win32Desktop::registerDeviceNotification(Hwnd window, const Guid& classGuid) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = toGuid(classGuid);
    return reinterpret_cast<Handle>(
        ::RegisterDeviceNotificationW(toHwnd(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

} // namespace plat::win32
