#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "win32_internal.h"

namespace plat::win32 {

bool Win32Folders::shellFolderPath(int csidl, String& path) {
    path.clear();
    // The buffer must hold MAX_PATH characters. The Unicode form answers E_FAIL (the ANSI one
    // S_FALSE) for a folder that is known but does not exist: only S_OK gives a path.
    wchar_t buffer[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK)
        return false;
    path = fromWide(buffer, MAX_PATH);
    return !path.empty();
}

bool Win32Folders::expandEnvironmentStrings(const String& text, String& expanded) {
    expanded.clear();
    const std::wstring source = wide(text);
    // The result's size, terminator included, comes first; the environment may grow between
    // the two calls, so a second answer larger than the buffer is asked again once.
    DWORD size = ::ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 2 && size != 0; ++attempt) {
        std::vector<wchar_t> buffer(size, L'\0');
        const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), buffer.data(), size);
        if (needed == 0)
            return false;
        if (needed <= size) {
            expanded = fromWide(buffer.data(), buffer.size());
            return true;
        }
        size = needed;
    }
    return false;
}

bool Win32Folders::isFolder(const String& path) {
    const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace plat::win32
