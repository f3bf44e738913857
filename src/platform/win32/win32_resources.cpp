#include <windows.h>

#include "win32_internal.h"

#include <vector>

namespace plat::win32 {

Module Win32Resources::loadLibrary(const String& name) {
    return fromModule(::LoadLibraryW(wide(name).c_str()));
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
    return reinterpret_cast<HIcon>(
        ::LoadIconW(reinterpret_cast<HINSTANCE>(toModule(module)), MAKEINTRESOURCEW(id)));
}

HBitmap Win32Resources::loadBitmap(Module module, int id) {
    return reinterpret_cast<HBitmap>(
        ::LoadBitmapW(reinterpret_cast<HINSTANCE>(toModule(module)), MAKEINTRESOURCEW(id)));
}

String Win32Resources::moduleFileName(Module module) {
    // A path may be longer than MAX_PATH. When the buffer is too small the call returns its
    // size (with ERROR_INSUFFICIENT_BUFFER; older systems leave the copy unterminated), so
    // the buffer grows until the path fits with room to spare. 32767 is the longest path.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> path(size, L'\0');
        const DWORD n = ::GetModuleFileNameW(reinterpret_cast<HMODULE>(toModule(module)),
                                             path.data(), size);
        if (n == 0)
            return {};
        if (n < size)
            return fromWide(path.data(), n);
    }
    return {};
}

} // namespace plat::win32
