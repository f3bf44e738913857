// Helpers shared by the Win32 tests (run under Wine against the real API).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "no_threads.h"
#include "ports.h"
#include "win32_internal.h"
#include "win32_raii.h"

namespace qa_test {

// Generous bound for anything another thread or process must do.
constexpr DWORD kWaitMs = 20000;

// Polls `done` until it holds or `timeoutMs` passes; true when it held.
template <class Predicate> bool waitFor(Predicate done, DWORD timeoutMs = kWaitMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(10);
    }
}

// The folder of the running test program, with a trailing backslash.
inline std::wstring testDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// A name no other test run (or an earlier one) uses.
inline std::wstring uniqueName(const wchar_t* prefix) {
    static LONG counter = 0;
    return std::wstring(prefix) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::InterlockedIncrement(&counter));
}

inline plat::String u16(const std::wstring& text) {
    return plat::win32::fromWide(text.c_str(), text.size());
}

inline std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    const int n = ::GetWindowTextW(window, text, 512);
    return std::wstring(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The argument with which the test program, started as a child, only waits to be ended.
constexpr char kChildWaitArgument[] = "--qa-child-wait";

// The argument with which the test program, started as a child, stands in for a media
// player: it opens one top-level window (class and title follow the argument) and records
// what that window receives in a file (its path follows the title).
constexpr wchar_t kPlayerWindowArgument[] = L"--qa-player-window";

} // namespace qa_test
