// Pictures of the program as a user sees it, for the README: the tray menu in both forms,
// the settings sheet and its pages, About and the three pairing dialogs, from the program's
// own menus, templates and code on the real dialog manager and menus (under Wine and Xvfb,
// by scripts/screenshots). Where a transmitter is needed a stand-in takes its place, with
// three paired devices; the computer has its speakers and the transmitter's playback device,
// sending its sound to the transmitter; three players are registered as installed. Each
// picture is the pixels as drawn on screen, written as a BMP named after the shot:
//   qa_screenshots.exe OUTPUT_FOLDER
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "AboutDlgBox.h"
#include "Application.h"
#include "AudioDevices.h"
#include "DeviceConnect.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "NewDeviceDialog.h"
#include "NewDevicesDialog.h"
#include "ProcessObjects.h"
#include "PropertyPageDevice.h"
#include "PropertyPageMediaPlayer.h"
#include "PropertyPageOtherApp.h"
#include "PropertyPageOtherSetting.h"
#include "PropertySheetSettingBox.h"
#include "TrayMenu.h"
#include "standin_transmitter.h"
#include "win32_platform.h"
#include "win32_test_support.h"

namespace {

std::wstring outputFolder;
int failures = 0;

// The speakers' and the transmitter's playback devices, as the device table holds them.
constexpr char16_t kSpeakersGuid[] = u"{11111111-2222-3333-4444-555555555555}";
constexpr char16_t kTransmitterGuid[] = u"{00112233-4455-6677-8899-AABBCCDDEEFF}";

// The screen's pixels inside `r`, as a 24-bit BMP.
bool captureRect(const RECT& r, const std::wstring& name) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = w > 0 && h > 0 ? ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits,
                                                         nullptr, 0)
                                    : nullptr;
    if (!bitmap) {
        ::DeleteDC(memory);
        ::ReleaseDC(nullptr, screen);
        std::printf("FAILED %ls (no %dx%d picture)\n", name.c_str(), w, h);
        ++failures;
        return false;
    }
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const bool copied = ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
    ::SelectObject(memory, old);
    ::GdiFlush(); // the bits are read directly below
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + imageSize;
    std::ofstream out((outputFolder + L"\\" + name + L".bmp").c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    out.write(static_cast<const char*>(bits), imageSize);
    const bool ok = copied && out.good();
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    std::printf("%s %ls (%dx%d)\n", ok ? "shot" : "FAILED", name.c_str(), w, h);
    failures += !ok;
    return ok;
}

// The window as the screen shows it.
bool capture(HWND window, const std::wstring& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r{};
    ::GetWindowRect(window, &r);
    return captureRect(r, name);
}

void missing(const wchar_t* what) {
    std::printf("FAILED: %ls did not open\n", what);
    ++failures;
}

// Lets the window finish drawing what its last change asked for.
void settle(HWND window) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    ::Sleep(300);
}

void registerPlayers() {
    for (const wchar_t* key : {L"SOFTWARE\\Classes\\Applications\\wmplayer.exe",
                               L"Software\\Winamp",
                               L"SOFTWARE\\Classes\\Applications\\iTunes.exe"}) {
        HKEY created = nullptr;
        if (::RegCreateKeyW(HKEY_CURRENT_USER, key, &created) == ERROR_SUCCESS)
            ::RegCloseKey(created);
    }
}

void settingsPages() {
    PropertySheetSettingBox sheet(u"Quorvane Auravo Settings", 0, 0);
    PropertyPageDevice devices;
    PropertyPageMediaPlayer players;
    PropertyPageOtherApp defaultAudio;
    PropertyPageOtherSetting other;
    for (SettingsPage* page :
         std::initializer_list<SettingsPage*>{&devices, &players, &defaultAudio, &other})
        sheet.addPage(*page);
    std::thread user([] {
        const HWND window = qa_test::waitForVisibleWindow(L"Quorvane Auravo Settings");
        if (!window)
            return missing(L"the settings");
        const wchar_t* names[] = {L"settings-devices", L"settings-media-players",
                                  L"settings-default-audio-device", L"settings-other-settings"};
        for (int i = 0; i < 4; ++i) {
            PropSheet_SetCurSel(window, nullptr, i);
            settle(window);
            capture(window, names[i]);
        }
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    sheet.doModal();
    user.join();
}

// A modal run on this thread while another thread, as the user, waits for the window titled
// `title`, pictures it as `name` and closes it with `close` (a message posted to it).
template <class Modal>
void dialogShot(Modal& modal, const wchar_t* title, const wchar_t* name, UINT close,
                WPARAM wParam = 0) {
    std::thread user([&] {
        const HWND window = qa_test::waitForVisibleWindow(title);
        if (!window)
            return missing(name);
        settle(window);
        capture(window, name);
        ::PostMessageW(window, close, wParam, 0);
    });
    modal.doModal();
    user.join();
}

void about() {
    AboutDlgBox box;
    dialogShot(box, L"About Quorvane Auravo Settings", L"about", WM_COMMAND, IDOK);
}

// The pairing dialogs with no link published: closing them sends nothing.
void pairingDialogs() {
    DeviceConnect wait;
    globals().pairingWaitActive = 0;
    // Closed as the reader thread ends it when the transmitter answers.
    dialogShot(wait, L"New Auravo Device", L"pairing-wait", WM_USER);

    NewDevicesDialog choosing;
    choosing.setDevices({{u"Receiver #1", {0, 0x0B, 0x7A, 1, 0, 4}},
                         {u"Receiver #2", {0, 0x0B, 0x7A, 1, 0, 5}},
                         {u"Headphones #1", {0, 0x0B, 0x7A, 1, 0, 6}}});
    dialogShot(choosing, L"New Auravo Devices", L"pairing-choose", WM_CLOSE);

    NewDeviceDialog naming;
    naming.deviceName = u"Receiver #1";
    dialogShot(naming, L"New Auravo Device", L"pairing-name", WM_CLOSE);
}

std::vector<HWND> openMenus() {
    return qa_test::windowsOf(::GetCurrentProcessId(), [](HWND w) {
        wchar_t cls[16] = {};
        ::GetClassNameW(w, cls, 16);
        return std::wstring(cls) == L"#32768" && ::IsWindowVisible(w);
    });
}

void postKey(HWND to, WPARAM vk) {
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    ::PostMessageW(to, WM_KEYDOWN, vk, 1 | (static_cast<LPARAM>(scan) << 16));
}

LRESULT CALLBACK backdropProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

// The tray menu as the real menu code builds it from menu 113 and tracks it, owned by a plain
// window that also gives it a quiet background. The user presses `keys` one at a time (each
// opening a further cascade when it is Right), and the menus open then are pictured together.
void trayMenu(bool advanced, std::vector<WPARAM> keys, const wchar_t* name) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = backdropProc;
    cls.hInstance = ::GetModuleHandleW(nullptr);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = L"QuorvaneAuravoScreenshotBackdrop";
    ::RegisterClassW(&cls);
    const HWND backdrop =
        ::CreateWindowExW(0, cls.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768,
                          nullptr, nullptr, cls.hInstance, nullptr);
    constexpr int kAt = 24;
    std::thread user([&] {
        std::vector<HWND> menus;
        if (!qa_test::waitFor([&] { return !(menus = openMenus()).empty(); }))
            return missing(name);
        const HWND top = menus.front();
        for (const WPARAM key : keys) {
            const std::size_t before = menus.size();
            postKey(top, key);
            if (key == VK_RIGHT)
                qa_test::waitFor([&] { return (menus = openMenus()).size() > before; }, 5000);
            settle(top);
        }
        RECT all{};
        for (const HWND menu : openMenus()) {
            RECT r{};
            ::GetWindowRect(menu, &r);
            ::UnionRect(&all, &all, &r);
        }
        settle(top);
        ::InflateRect(&all, kAt / 2, kAt / 2);
        captureRect(all, name);
        // Escape closes one level at a time; nothing is chosen.
        for (int i = 0; i < 8 && !openMenus().empty(); ++i) {
            postKey(top, VK_ESCAPE);
            qa_test::waitFor([&] { return openMenus().size() < menus.size(); }, 1000);
            menus = openMenus();
        }
    });
    QuickRoutingMenu menu;
    const plat::Hwnd owner = plat::win32::fromHwnd(backdrop);
    if (advanced)
        menu.ShowAdvancedTrayMenu(owner, {kAt, kAt});
    else
        menu.ShowTrayMenu(owner, {kAt, kAt});
    user.join();
    ::DestroyWindow(backdrop);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: qa_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    outputFolder = argv[1];
    plat::win32::prepareProcess();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    plat::win32::install();

    // A transmitter stands in for the real one; no background threads: the pictures show
    // exactly the state set up here.
    auto* transmitter = new qa_test::StandInTransmitter;
    auto* threads = new qa_test::NoThreads(*plat::current().threads);
    plat::Platform bundle = plat::current();
    bundle.hid = transmitter;
    bundle.threads = threads;
    // Today's Windows, the computer's two playback devices its render endpoints, the
    // transmitter's the default.
    const plat::String transmitterEndpoint = u"{0.0.0.00000000}.{6a1f0c3e-transmitter}";
    bundle.coreAudio = new qa_test::FixedCoreAudio(
        {{u"{0.0.0.00000000}.{6a1f0c3e-speakers}", kSpeakersGuid},
         {transmitterEndpoint, kTransmitterGuid}},
        transmitterEndpoint);
    plat::install(bundle);
    startProcessObjects();
    fw::setResourceModule(plat::resources().programModule());

    // A sound card and the transmitter.
    storeDeviceEntry(0, AudioDeviceEntry{0, kNullGuid, kDefaultAudioDeviceName, u""});
    storeDeviceEntry(1, AudioDeviceEntry{0, kSpeakersGuid, u"Speakers (High Definition Audio)",
                                         u"Speakers"});
    storeDeviceEntry(2, AudioDeviceEntry{1, kTransmitterGuid, u"Quorvane Auravo",
                                         u"Quorvane Auravo"});
    globals().audioDevices->count = 2;
    registerPlayers();
    // As an administrator sees them: Edit and the tray-menu switch are enabled.
    globals().isAdministrator = true;

    // Three paired devices, as the transmitter's first listing brings them (newest first).
    DongleVendorCommunication link(transmitter->open(transmitter->vendorPath));
    globals().vendorLink = &link;
    const DeviceAddress addresses[] = {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 7}, {1, 2, 3, 4, 5, 8}};
    const char16_t* names[] = {u"Headphones", u"Kitchen", u"Living Room"};
    for (int i = 0; i < 3; ++i)
        globals().pairedDevices.receiveListingEntry(3 - i, names[i], addresses[i], 0);
    globals().pairedDevices.orderListingIfNotPairing();
    globals().pairedDevices.setCurrentName(u"Living Room");

    globals().firmwareVersion.set(u"1.0.12:Dec 01 2005");

    // The simple form; the advanced one with its player choices open (Down to "Media Player
    // Output", past the three receivers, then into it and into its first player).
    trayMenu(false, {}, L"tray-menu");
    trayMenu(true, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_RIGHT}, L"tray-menu-advanced");
    settingsPages();
    about();

    globals().vendorLink = nullptr;
    pairingDialogs();
    std::printf("%s\n", failures ? "screenshots: FAILED" : "screenshots: done");
    return failures ? 1 : 0;
}
