// Shared by the Win32 port implementations: conversions between the seam's portable
// types and the Win32 ones, and the port classes. Include <windows.h> before this header.
#pragma once

#include <shellapi.h>

#include "ports.h"

#include <htmlhelp.h>

#include <cstring>
#include <string>

// HidP_GetCaps's record (<hidpi.h>); only win32_hid.cpp needs its fields.
struct _HIDP_CAPS;

namespace plat::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected on Windows");

// ---------------------------------------------------------------- text
inline std::wstring wide(const String& text) {
    return std::wstring(text.begin(), text.end());
}

// Copies at most `length` code units, stopping early at a NUL.
inline String fromWide(const wchar_t* text, std::size_t length) {
    if (!text)
        return {};
    std::size_t n = 0;
    while (n < length && text[n] != L'\0')
        ++n;
    return String(reinterpret_cast<const char16_t*>(text), n);
}

inline String fromWide(const wchar_t* text) {
    return text ? fromWide(text, std::wcslen(text)) : String();
}

// ---------------------------------------------------------------- folders
// The full path of the running program, however long.
std::wstring programPath();
// A library of the system folder by its full path: neither the program's nor the current
// folder nor PATH can stand in for it. Null on failure.
HMODULE loadSystemLibrary(const wchar_t* fileName);

// ---------------------------------------------------------------- handles
inline HWND toHwnd(Hwnd w) {
    return reinterpret_cast<HWND>(w);
}
inline Hwnd fromHwnd(HWND w) {
    return reinterpret_cast<Hwnd>(w);
}

inline HANDLE toHandle(Handle h) {
    return reinterpret_cast<HANDLE>(h);
}
// INVALID_HANDLE_VALUE is "none" on the seam, as null is.
inline Handle fromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<Handle>(h);
}

inline HMODULE toModule(Module m) {
    return reinterpret_cast<HMODULE>(m);
}
inline Module fromModule(HMODULE m) {
    return reinterpret_cast<Module>(m);
}

inline HMENU toMenu(HMenu m) {
    return reinterpret_cast<HMENU>(m);
}
inline HMenu fromMenu(HMENU m) {
    return reinterpret_cast<HMenu>(m);
}

inline HICON toIcon(HIcon i) {
    return reinterpret_cast<HICON>(i);
}

// The seam spells the predefined roots with their 32-bit values; on 64-bit Windows
// HKEY_CURRENT_USER is that value sign-extended, so the roots are mapped by name.
inline HKEY toKey(HKey k) {
    if (k == plat::HKCU)
        return HKEY_CURRENT_USER;
    if (k == plat::HKLM)
        return HKEY_LOCAL_MACHINE;
    return reinterpret_cast<HKEY>(k);
}
inline HKey fromKey(HKEY k) {
    if (k == HKEY_CURRENT_USER)
        return plat::HKCU;
    if (k == HKEY_LOCAL_MACHINE)
        return plat::HKLM;
    return reinterpret_cast<HKey>(k);
}

// ---------------------------------------------------------------- GUIDs
inline GUID toGuid(const Guid& g) {
    GUID out;
    static_assert(sizeof(out) == sizeof(g));
    std::memcpy(&out, &g, sizeof(out));
    return out;
}
inline Guid fromGuid(const GUID& g) {
    Guid out;
    out.data1 = g.Data1;
    out.data2 = g.Data2;
    out.data3 = g.Data3;
    std::memcpy(out.data4, g.Data4, sizeof(out.data4));
    return out;
}

// ---------------------------------------------------------------- records passed to Windows
// What the backend hands Windows is built by these, so that tests can check each field.
// The notification-area record in its first layout (NOTIFYICONDATAW_V1_SIZE): the tip is cut
// to 63 characters and always NUL-terminated.
NOTIFYICONDATAW toNotifyIconData(const NotifyIconData& data);
// The lengths and usages of HidP_GetCaps's record, field by field.
HidCaps fromHidpCaps(const _HIDP_CAPS& caps);

// ---------------------------------------------------------------- ports
class Win32Registry final : public Registry {
public:
    std::int32_t openKey(HKey root, const String& subkey, std::uint32_t access, HKey& out) override;
    std::int32_t createKey(HKey root, const String& subkey, HKey& out) override;
    std::int32_t queryValue(HKey key, const String& name, std::uint32_t* type, void* data,
                            std::uint32_t* size) override;
    std::int32_t setValue(HKey key, const String& name, std::uint32_t type, const void* data,
                          std::uint32_t size) override;
    std::int32_t deleteValue(HKey key, const String& name) override;
    std::int32_t deleteKey(HKey root, const String& subkey) override;
    std::int32_t closeKey(HKey key) override;
};

class Win32Files final : public Files {
public:
    Handle open(const String& path, FileMode mode) override;
    ReadResult readLine(Handle file, std::size_t maxBytes, std::string& line) override;
    bool write(Handle file, const std::string& bytes) override;
    bool flush(Handle file) override;
    bool close(Handle file) override;
    bool exists(const String& path) override;
    bool deleteFile(const String& path) override;
    std::uint32_t replaceFile(const String& replaced, const String& replacement,
                              const String* backup) override;
    bool moveFileReplace(const String& from, const String& to) override;
};

class Win32Folders final : public Folders {
public:
    bool shellFolderPath(int csidl, String& path) override;
    bool expandEnvironmentStrings(const String& text, String& expanded) override;
    bool isFolder(const String& path) override;
};

class Win32Threads final : public Threads {
public:
    Handle createMutex(const String* name, bool initialOwner, std::uint32_t& lastError) override;
    bool releaseMutex(Handle mutex) override;
    std::uint32_t waitForSingleObject(Handle object, std::uint32_t milliseconds) override;
    bool closeHandle(Handle object) override;
    Handle startThread(std::function<void()> body) override;
    bool processEnding() override;
    std::int64_t timeNow() override;
    LocalTime localTime() override;
    std::uint64_t tickCount() override;
    void sleep(std::uint32_t milliseconds) override;
};

class Win32Desktop final : public Desktop {
public:
    Hwnd findWindow(const String* className, const String* title) override;
    bool postMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) override;
    LResult sendMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) override;
    bool sendMessageTimeout(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam,
                            std::uint32_t flags, std::uint32_t milliseconds,
                            LResult& result) override;
    bool isWindow(Hwnd window) override;
    bool setForegroundWindow(Hwnd window) override;
    Hwnd getForegroundWindow() override;
    bool showWindow(Hwnd window, std::uint32_t command) override;
    bool isWindowVisible(Hwnd window) override;
    bool setWindowText(Hwnd window, const String& text) override;
    String getWindowText(Hwnd window) override;
    std::uint32_t getExStyle(Hwnd window) override;
    void setExStyle(Hwnd window, std::uint32_t exStyle) override;
    bool enableWindow(Hwnd window, bool enable) override;
    bool isWindowEnabled(Hwnd window) override;
    bool getWindowPlacement(Hwnd window, WindowPlacement& placement) override;
    bool setWindowPlacement(Hwnd window, const WindowPlacement& placement) override;
    Hwnd getDlgItem(Hwnd dialog, int controlId) override;
    std::uint32_t getWindowThreadProcessId(Hwnd window, std::uint32_t* processId) override;
    std::uintptr_t setTimer(Hwnd window, std::uintptr_t id, std::uint32_t milliseconds) override;
    bool killTimer(Hwnd window, std::uintptr_t id) override;
    Point getCursorPos() override;
    std::uint32_t registerWindowMessage(const String& name) override;
    bool allowMessageFromLowerIntegrity(Hwnd window, std::uint32_t msg) override;
    Handle registerDeviceNotification(Hwnd window, const Guid& classGuid) override;
};

class Win32UserInterface final : public UserInterface {
public:
    std::intptr_t dialogBox(Module resources, int templateId, Hwnd parent,
                            DialogTarget* target) override;
    bool endDialog(Hwnd dialog, std::intptr_t result) override;
    int messageBox(Hwnd owner, const String& text, const String& caption, std::uint32_t style,
                   MessageBoxHook* hook) override;
    std::intptr_t propertySheet(const PropertySheetSpec& setup) override;
    int activePageIndex(Hwnd sheet) override;
    MessageSource currentMessageSource() override;
    HMenu loadMenu(Module resources, int menuId) override;
    HMenu getSubMenu(HMenu menu, int position) override;
    HMenu createPopupMenu() override;
    bool insertMenu(HMenu menu, std::uint32_t position, std::uint32_t flags, std::uintptr_t item,
                    const String& text) override;
    bool appendMenu(HMenu menu, std::uint32_t flags, std::uintptr_t item,
                    const String& text) override;
    bool checkMenuRadioItem(HMenu menu, std::uint32_t first, std::uint32_t last,
                            std::uint32_t check, std::uint32_t flags) override;
    bool setMenuDefaultItem(HMenu menu, std::uint32_t item, bool byPosition) override;
    bool trackPopupMenu(HMenu menu, std::uint32_t flags, Point at, Hwnd owner) override;
    bool destroyMenu(HMenu menu) override;
    bool shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) override;
};

class Win32Resources final : public Resources {
public:
    Module loadLibrary(const String& name) override;
    Module programModule() override;
    bool loadString(Module module, std::uint32_t id, String& out) override;
    HIcon loadIcon(Module module, int id) override;
    HIcon loadSmallIcon(Module module, int id, Hwnd window) override;
    HBitmap loadBitmap(Module module, int id) override;
    String programFile() override;
};

class Win32Hid final : public Hid {
public:
    Guid getHidGuid() override;
    StringArray enumerateInterfaces(const Guid& classGuid) override;
    Handle open(const String& path) override;
    bool getAttributes(Handle device, HidAttributes& attributes) override;
    bool getCaps(Handle device, HidCaps& caps) override;
    bool read(Handle device, std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead,
              std::uint32_t& error) override;
    void cancelRead(Handle device) override;
    bool write(Handle device, const std::uint8_t* buffer, std::uint32_t length,
               std::uint32_t& bytesWritten) override;
    bool close(Handle device) override;
};

class Win32Audio final : public Audio {
public:
    Module loadDsound() override;
    bool hasDllGetClassObject(Module dsound) override;
    Handle getClassFactory(Module dsound) override;
    Handle createPropertySet(Handle classFactory) override;
    bool enumerateDevices(Handle propertySet,
                          const std::function<bool(const DsDeviceDescription&)>& callback) override;
    void release(Handle object) override;
    void freeDsound(Module dsound) override;
    std::uint32_t mixerGetNumDevs() override;
    bool mixerGetProductName(std::uint32_t id, String& productName) override;
};

class Win32CoreAudio final : public CoreAudio {
public:
    bool enterApartment() override;
    Handle createDeviceEnumerator() override;
    bool renderEndpoints(Handle enumerator, std::vector<AudioEndpoint>& endpoints) override;
    std::int32_t defaultRenderEndpoint(Handle enumerator, EndpointRole role, String& id) override;
    bool endpointHardware(Handle enumerator, const String& id, EndpointHardware& out) override;
    Handle createPolicyConfig() override;
    std::int32_t setDefaultEndpoint(Handle policyConfig, const String& id,
                                    EndpointRole role) override;
    void release(Handle object) override;
};

class Win32Processes final : public Processes {
public:
    Handle openProcess(std::uint32_t access, std::uint32_t processId) override;
    bool terminateProcess(Handle process, std::uint32_t exitCode) override;
    bool closeHandle(Handle object) override;
    Handle openProcessToken() override;
    bool getTokenGroups(Handle token, std::uint32_t bufferSize,
                        std::vector<SidAndAttributes>& groups, std::uint32_t& returnLength,
                        std::uint32_t& error) override;
    bool closeToken(Handle token) override;
    std::intptr_t shellExecute(Hwnd owner, const String& verb, const String& file,
                               std::uint32_t show) override;
    Hwnd htmlHelp(Hwnd owner, const String& file, std::uint32_t command,
                  std::uintptr_t data) override;
};

// The HH_POPUP record that htmlHelp hands to HtmlHelpW for a HelpPopup.
HH_POPUP toHhPopup(const HelpPopup& popup);

// ---------------------------------------------------------------- calls through an entry
// Calls whose arguments nothing under Wine would show (its message filter and help viewer
// accept anything) take the API function as a parameter: the ports pass the real one, tests a
// stand-in that records what it was given.
using ChangeMessageFilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
// ChangeWindowMessageFilterEx(window, msg, MSGFLT_ALLOW, no record) through `change`.
bool allowMessageThrough(ChangeMessageFilterFn change, Hwnd window, std::uint32_t msg);
using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
// HtmlHelpW through `entry`; for HH_DISPLAY_TEXT_POPUP `data` points to a HelpPopup, of which
// `entry` gets the HH_POPUP record.
Hwnd callHtmlHelp(HtmlHelpFn entry, Hwnd owner, const String& file, std::uint32_t command,
                  std::uintptr_t data);

} // namespace plat::win32
