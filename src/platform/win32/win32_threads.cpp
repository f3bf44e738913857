#include <windows.h>

#include <process.h>

#include <ctime>
#include <memory>

#include "win32_internal.h"

namespace plat::win32 {

namespace {
unsigned __stdcall threadEntry(void* parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}
} // namespace

Handle Win32Threads::createMutex(const String* name, bool initialOwner, std::uint32_t& lastError) {
    const std::wstring wideName = name ? wide(*name) : std::wstring();
    HANDLE mutex = ::CreateMutexW(nullptr, initialOwner, name ? wideName.c_str() : nullptr);
    // Read at once: ERROR_ALREADY_EXISTS arrives with a valid handle.
    lastError = ::GetLastError();
    return fromHandle(mutex);
}

bool Win32Threads::releaseMutex(Handle mutex) {
    return ::ReleaseMutex(toHandle(mutex));
}

std::uint32_t Win32Threads::waitForSingleObject(Handle object, std::uint32_t milliseconds) {
    return ::WaitForSingleObject(toHandle(object), milliseconds);
}

bool Win32Threads::closeHandle(Handle object) {
    return object && ::CloseHandle(toHandle(object));
}

Handle Win32Threads::startThread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    // _beginthreadex, not CreateThread: the C runtime sets up its per-thread state.
    const std::uintptr_t thread =
        ::_beginthreadex(nullptr, 0, threadEntry, owned.get(), 0, nullptr);
    if (thread == 0)
        return 0;
    owned.release(); // the thread owns it now
    return static_cast<Handle>(thread);
}

// The product's threads end with the process; nothing asks them to leave.
bool Win32Threads::processEnding() {
    return false;
}

std::int64_t Win32Threads::timeNow() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

LocalTime Win32Threads::localTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    LocalTime out;
    out.year = now.wYear;
    out.month = now.wMonth;
    out.day = now.wDay;
    out.hour = now.wHour;
    out.minute = now.wMinute;
    out.second = now.wSecond;
    return out;
}

std::uint64_t Win32Threads::tickCount() {
    return ::GetTickCount64();
}

void Win32Threads::sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

} // namespace plat::win32
