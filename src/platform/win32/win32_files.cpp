#include <windows.h>

#include <io.h>

#include <cstdio>

#include "win32_internal.h"

namespace plat::win32 {

namespace {
FILE* toFile(Handle file) {
    return reinterpret_cast<FILE*>(file);
}
} // namespace

Handle Win32Files::open(const String& path, FileMode mode) {
    const wchar_t* how = mode == FileMode::Read ? L"rb" : L"w+b";
    return reinterpret_cast<Handle>(::_wfopen(wide(path).c_str(), how));
}

ReadResult Win32Files::readLine(Handle file, std::size_t maxBytes, std::string& line) {
    line.clear();
    FILE* f = toFile(file);
    // fgets keeps room for its terminator; with fewer than two bytes it can read nothing.
    if (!f || maxBytes < 2)
        return ReadResult::Error;
    while (line.size() < maxBytes - 1) {
        const int c = std::fgetc(f);
        if (c == EOF)
            break;
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    // EOF from fgetc is the end of the file or a failed read; only the error indicator
    // tells them apart, and a failed read leaves the bytes before it untrustworthy.
    if (std::ferror(f)) {
        line.clear();
        return ReadResult::Error;
    }
    return line.empty() ? ReadResult::End : ReadResult::Line;
}

bool Win32Files::write(Handle file, const std::string& bytes) {
    FILE* f = toFile(file);
    if (!f)
        return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

bool Win32Files::flush(Handle file) {
    FILE* f = toFile(file);
    if (!f || std::fflush(f) != 0)
        return false;
    // fflush only empties the C library's buffer into the system cache.
    const auto os = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(f)));
    return os != INVALID_HANDLE_VALUE && ::FlushFileBuffers(os);
}

bool Win32Files::close(Handle file) {
    FILE* f = toFile(file);
    return f && std::fclose(f) == 0;
}

bool Win32Files::exists(const String& path) {
    return ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32Files::deleteFile(const String& path) {
    return ::DeleteFileW(wide(path).c_str());
}

std::uint32_t Win32Files::replaceFile(const String& replaced, const String& replacement,
                                      const String* backup) {
    // No REPLACEFILE_WRITE_THROUGH: it is documented as unsupported, so the caller flushes
    // the replacement itself.
    const std::wstring backupName = backup ? wide(*backup) : std::wstring();
    if (::ReplaceFileW(wide(replaced).c_str(), wide(replacement).c_str(),
                       backup ? backupName.c_str() : nullptr, 0, nullptr, nullptr))
        return ERROR_SUCCESS;
    return ::GetLastError();
}

bool Win32Files::moveFileReplace(const String& from, const String& to) {
    return ::MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

} // namespace plat::win32
