#include <windows.h>

#include "win32_internal.h"

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

} // namespace plat::win32
