#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <memory>

#include "win32_internal.h"
#include "win32_raii.h"

namespace plat::win32 {

namespace {

// A token's group list is a few kilobytes; refuse to allocate for absurd requests.
constexpr std::uint32_t kMaxTokenBuffer = 1024 * 1024;

Sid toSid(PSID sid) {
    Sid out;
    if (!sid || !::IsValidSid(sid))
        return out;
    const SID_IDENTIFIER_AUTHORITY* authority = ::GetSidIdentifierAuthority(sid);
    std::copy(std::begin(authority->Value), std::end(authority->Value), out.authority);
    const UCHAR count = *::GetSidSubAuthorityCount(sid);
    for (UCHAR i = 0; i < count; ++i)
        out.subAuthorities.push_back(*::GetSidSubAuthority(sid, i));
    return out;
}

// HtmlHelpW lives in hhctrl.ocx, which not every system has: it is looked up once, at
// first use, and the library is kept for the life of the process.
HtmlHelpFn htmlHelpEntry() {
    static const HtmlHelpFn entry = []() -> HtmlHelpFn {
        HMODULE library = loadSystemLibrary(L"hhctrl.ocx");
        if (!library)
            return nullptr;
        return reinterpret_cast<HtmlHelpFn>(
            reinterpret_cast<void*>(::GetProcAddress(library, "HtmlHelpW")));
    }();
    return entry;
}

} // namespace

Handle Win32Processes::openProcess(std::uint32_t access, std::uint32_t processId) {
    return fromHandle(::OpenProcess(access, FALSE, processId));
}

bool Win32Processes::terminateProcess(Handle process, std::uint32_t exitCode) {
    return ::TerminateProcess(toHandle(process), exitCode);
}

bool Win32Processes::closeHandle(Handle object) {
    return object && ::CloseHandle(toHandle(object));
}

Handle Win32Processes::openProcessToken() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    return fromHandle(token);
}

bool Win32Processes::getTokenGroups(Handle token, std::uint32_t bufferSize,
                                    std::vector<SidAndAttributes>& groups,
                                    std::uint32_t& returnLength, std::uint32_t& error) {
    groups.clear();
    returnLength = 0;
    error = ERROR_SUCCESS;
    if (bufferSize > kMaxTokenBuffer) {
        error = ERROR_INVALID_PARAMETER;
        return false;
    }
    // TOKEN_GROUPS holds pointers: the buffer must be aligned for them.
    std::unique_ptr<std::max_align_t[]> buffer(
        new std::max_align_t[(bufferSize + sizeof(std::max_align_t) - 1) /
                                 sizeof(std::max_align_t) +
                             1]);
    DWORD needed = 0;
    const BOOL ok =
        ::GetTokenInformation(toHandle(token), TokenGroups, buffer.get(), bufferSize, &needed);
    returnLength = needed;
    if (!ok) {
        error = ::GetLastError();
        return false;
    }
    const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
    const std::size_t room =
        bufferSize < offsetof(TOKEN_GROUPS, Groups)
            ? 0
            : (bufferSize - offsetof(TOKEN_GROUPS, Groups)) / sizeof(SID_AND_ATTRIBUTES);
    const std::size_t count = std::min<std::size_t>(list->GroupCount, room);
    for (std::size_t i = 0; i < count; ++i) {
        SidAndAttributes entry;
        entry.sid = toSid(list->Groups[i].Sid);
        entry.attributes = list->Groups[i].Attributes;
        groups.push_back(std::move(entry));
    }
    return true;
}

bool Win32Processes::closeToken(Handle token) {
    return token && ::CloseHandle(toHandle(token));
}

std::intptr_t Win32Processes::shellExecute(Hwnd owner, const String& verb, const String& file,
                                           std::uint32_t show) {
    const std::wstring wideVerb = wide(verb);
    const HINSTANCE result =
        ::ShellExecuteW(toHwnd(owner), verb.empty() ? nullptr : wideVerb.c_str(),
                        wide(file).c_str(), nullptr, nullptr, static_cast<int>(show));
    return reinterpret_cast<std::intptr_t>(result);
}

HH_POPUP toHhPopup(const HelpPopup& popup) {
    HH_POPUP record{};
    record.cbStruct = sizeof(record);
    record.hinst = toModule(popup.instance);
    record.idString = popup.stringId;
    record.pszText = nullptr;
    record.pt = {popup.position.x, popup.position.y};
    record.clrForeground = static_cast<COLORREF>(popup.foreground);
    record.clrBackground = static_cast<COLORREF>(popup.background);
    record.rcMargins = {popup.margins.left, popup.margins.top, popup.margins.right,
                        popup.margins.bottom};
    record.pszFont = nullptr;
    return record;
}

Hwnd Win32Processes::htmlHelp(Hwnd owner, const String& file, std::uint32_t command,
                              std::uintptr_t data) {
    const HtmlHelpFn entry = htmlHelpEntry();
    return entry ? callHtmlHelp(entry, owner, file, command, data) : 0;
}

Hwnd callHtmlHelp(HtmlHelpFn entry, Hwnd owner, const String& file, std::uint32_t command,
                  std::uintptr_t data) {
    if (command == HH_DISPLAY_TEXT_POPUP && data) {
        HH_POPUP record = toHhPopup(*reinterpret_cast<const HelpPopup*>(data));
        return fromHwnd(entry(toHwnd(owner), wide(file).c_str(), command,
                              reinterpret_cast<DWORD_PTR>(&record)));
    }
    return fromHwnd(entry(toHwnd(owner), wide(file).c_str(), command, data));
}

} // namespace plat::win32
