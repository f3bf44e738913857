#include <windows.h>

#include "win32_internal.h"

namespace plat::win32 {

std::int32_t Win32Registry::openKey(HKey root, const String& subkey, std::uint32_t access,
                                    HKey& out) {
    HKEY key = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(toKey(root), wide(subkey).c_str(), 0, access, &key);
    out = status == ERROR_SUCCESS ? fromKey(key) : 0;
    return status;
}

std::int32_t Win32Registry::createKey(HKey root, const String& subkey, HKey& out) {
    HKEY key = nullptr;
    const LSTATUS status = ::RegCreateKeyW(toKey(root), wide(subkey).c_str(), &key);
    out = status == ERROR_SUCCESS ? fromKey(key) : 0;
    return status;
}

std::int32_t Win32Registry::queryValue(HKey key, const String& name, std::uint32_t* type,
                                       void* data, std::uint32_t* size) {
    DWORD valueType = 0;
    DWORD bytes = size ? *size : 0;
    const LSTATUS status = ::RegQueryValueExW(toKey(key), wide(name).c_str(), nullptr, &valueType,
                                              static_cast<BYTE*>(data), size ? &bytes : nullptr);
    if (type)
        *type = valueType;
    if (size)
        *size = bytes;
    return status;
}

std::int32_t Win32Registry::setValue(HKey key, const String& name, std::uint32_t type,
                                     const void* data, std::uint32_t size) {
    return ::RegSetValueExW(toKey(key), wide(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                            size);
}

std::int32_t Win32Registry::deleteValue(HKey key, const String& name) {
    return ::RegDeleteValueW(toKey(key), wide(name).c_str());
}

std::int32_t Win32Registry::deleteKey(HKey root, const String& subkey) {
    return ::RegDeleteKeyW(toKey(root), wide(subkey).c_str());
}

std::int32_t Win32Registry::closeKey(HKey key) {
    return ::RegCloseKey(toKey(key));
}

} // namespace plat::win32
