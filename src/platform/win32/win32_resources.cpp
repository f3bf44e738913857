#include <windows.h>

#include "win32_internal.h"

#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace plat::win32 {

std::wstring programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        // A full buffer means the path may have been cut (Windows XP does not even say so).
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

HMODULE loadSystemLibrary(const wchar_t* fileName) {
    wchar_t folder[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    // A 32-bit program on 64-bit Windows is redirected from System32 to SysWOW64, where its
    // own kind of each library lives.
    return ::LoadLibraryW((std::wstring(folder, n) + L"\\" + fileName).c_str());
}

Module Win32Resources::loadLibrary(const String& name) {
    const std::wstring program = programPath();
    const std::size_t slash = program.find_last_of(L'\\');
    if (slash == std::wstring::npos || name.empty())
        return 0;
    // By full path from the program's folder: a library of the same name planted in the
    // current folder (or anywhere on PATH) is never taken. As a data file: what is used are
    // its resources, and nothing in it runs.
    const std::wstring path = program.substr(0, slash + 1) + wide(name);
    return fromModule(::LoadLibraryExW(path.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

Module Win32Resources::programModule() {
    return fromModule(::GetModuleHandleW(nullptr));
}

bool Win32Resources::loadString(Module module, std::uint32_t id, String& out) {
    // With a zero buffer size LoadStringW hands out a read-only pointer into the resource
    // and the string's full length, so no text is cut at a guessed buffer size. The
    // resource is not NUL-terminated.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(reinterpret_cast<HINSTANCE>(toModule(module)), id,
                                     reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return false;
    out.assign(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length));
    return true;
}

HIcon Win32Resources::loadIcon(Module module, int id) {
    // LoadIconW shares the icon it loads from an image, but from a library loaded as a data
    // file, as the resource library is, Wine makes a new icon at every call (about 9 KB each):
    // the settings, which ask for theirs at every opening, would leave one behind each time.
    // Each icon is loaded once and kept for the life of the process, as a shared icon is.
    static std::mutex lock;
    static std::map<std::pair<Module, int>, HICON> loaded;
    std::lock_guard<std::mutex> guard(lock);
    HICON& icon = loaded[{module, id}];
    if (!icon)
        icon = ::LoadIconW(reinterpret_cast<HINSTANCE>(toModule(module)), MAKEINTRESOURCEW(id));
    return reinterpret_cast<HIcon>(icon);
}

namespace {

// SM_CXSMICON for the DPI of the monitor `window` is on. GetDpiForWindow and
// GetSystemMetricsForDpi exist from Windows 10 1607 on; before, and without a window, the
// system's DPI, for which GetSystemMetrics answers a DPI-aware process.
int smallIconSize(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    static const auto dpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")));
    static const auto metricsForDpi = reinterpret_cast<GetSystemMetricsForDpiFn>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "GetSystemMetricsForDpi")));
    if (window && dpiForWindow && metricsForDpi)
        if (const UINT dpi = dpiForWindow(window))
            return metricsForDpi(SM_CXSMICON, dpi);
    return ::GetSystemMetrics(SM_CXSMICON);
}

} // namespace

HIcon Win32Resources::loadSmallIcon(Module module, int id, Hwnd window) {
    const int size = smallIconSize(toHwnd(window));
    // LR_SHARED is for the system's standard sizes only, so each image is loaded once per
    // size and kept: the reader thread switches the tray image every time the link changes.
    static std::mutex lock;
    static std::map<std::tuple<Module, int, int>, HICON> loaded;
    std::lock_guard<std::mutex> guard(lock);
    HICON& icon = loaded[{module, id, size}];
    if (!icon)
        icon = static_cast<HICON>(::LoadImageW(reinterpret_cast<HINSTANCE>(toModule(module)),
                                               MAKEINTRESOURCEW(id), IMAGE_ICON, size, size,
                                               LR_DEFAULTCOLOR));
    return reinterpret_cast<HIcon>(icon);
}

HBitmap Win32Resources::loadBitmap(Module module, int id) {
    return reinterpret_cast<HBitmap>(
        ::LoadBitmapW(reinterpret_cast<HINSTANCE>(toModule(module)), MAKEINTRESOURCEW(id)));
}

String Win32Resources::programFile() {
    const std::wstring path = programPath();
    return fromWide(path.data(), path.size());
}

} // namespace plat::win32
