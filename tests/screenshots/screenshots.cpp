// Pictures of the program as a user sees it, for the README: the real settings sheet and its
// pages from the program's own templates and code, on the real dialog manager (under Wine
// and Xvfb, by scripts/screenshots). Where a transmitter is needed a stand-in takes its place,
// with three paired devices; three players are registered as installed. Each picture is the
// window's pixels as drawn on screen, written as a BMP named after the shot:
//   qa_screenshots.exe OUTPUT_FOLDER
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "Application.h"
#include "AudioDevices.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "PropertyPageDevice.h"
#include "PropertyPageMediaPlayer.h"
#include "PropertyPageOtherApp.h"
#include "PropertyPageOtherSetting.h"
#include "PropertySheetSettingBox.h"
#include "standin_transmitter.h"
#include "win32_platform.h"
#include "win32_test_support.h"

namespace {

std::wstring outputFolder;
int failures = 0;

// The window's pixels as the screen shows them, as a 24-bit BMP.
bool capture(HWND window, const std::wstring& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r{};
    ::GetWindowRect(window, &r);
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
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const bool copied = ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
    ::SelectObject(memory, old);
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
    const bool ok = copied && out.good() && w > 0 && h > 0;
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    std::printf("%s %ls (%dx%d)\n", ok ? "shot" : "FAILED", name.c_str(), w, h);
    failures += !ok;
    return ok;
}

HWND waitForVisible(const wchar_t* title) {
    HWND found = nullptr;
    qa_test::waitFor([&] {
        found = ::FindWindowW(nullptr, title);
        return found && ::IsWindowVisible(found);
    });
    return found;
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
        const HWND window = waitForVisible(L"Quorvane Auravo Settings");
        if (!window) {
            std::printf("FAILED: the settings did not open\n");
            ++failures;
            return;
        }
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
    plat::install(bundle);
    startProcessObjects();
    fw::setResourceModule(plat::resources().programModule());

    // A sound card and the transmitter.
    storeDeviceEntry(0, AudioDeviceEntry{0, kNullGuid, kDefaultAudioDeviceName, u""});
    storeDeviceEntry(1, AudioDeviceEntry{0, u"{11111111-2222-3333-4444-555555555555}",
                                         u"Speakers (High Definition Audio)", u"Speakers"});
    storeDeviceEntry(2, AudioDeviceEntry{1, u"{00112233-4455-6677-8899-AABBCCDDEEFF}",
                                         u"Quorvane Auravo", u"Quorvane Auravo"});
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

    settingsPages();

    globals().vendorLink = nullptr;
    std::printf("%s\n", failures ? "screenshots: FAILED" : "screenshots: done");
    return failures ? 1 : 0;
}
