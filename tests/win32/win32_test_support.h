// Helpers shared by the Win32 tests (run under Wine against the real API).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Collaborators.h"
#include "Globals.h"
#include "ProcessObjects.h"
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

// The top-level window with this title once it is visible; null if none is within the bound.
inline HWND waitForVisibleWindow(const wchar_t* title) {
    HWND found = nullptr;
    waitFor([&] {
        found = ::FindWindowW(nullptr, title);
        return found && ::IsWindowVisible(found);
    });
    return found;
}

// The folder of the running test program, with a trailing backslash.
inline std::wstring testDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// A name no other test run (or an earlier one) uses. The prefix outlives a run, and Wine
// hands out the same process ids run after run: the moment this process started counts too.
inline std::wstring uniqueName(const wchar_t* prefix) {
    static LONG counter = 0;
    static const ULONGLONG started = ::GetTickCount64();
    return std::wstring(prefix) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(started) + L"-" + std::to_wstring(::InterlockedIncrement(&counter));
}

inline plat::String u16(const std::wstring& text) {
    return plat::win32::fromWide(text.c_str(), text.size());
}

inline std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    const int n = ::GetWindowTextW(window, text, 512);
    return std::wstring(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

inline DWORD ownerProcess(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

// Top-level windows of `pid` that pass `keep`.
template <class Keep> std::vector<HWND> windowsOf(DWORD pid, Keep keep) {
    struct Search {
        DWORD pid;
        Keep* keep;
        std::vector<HWND> found;
    } search{pid, &keep, {}};
    ::EnumWindows(
        [](HWND w, LPARAM p) CALLBACK -> BOOL {
            auto& s = *reinterpret_cast<Search*>(p);
            if (ownerProcess(w) == s.pid && (*s.keep)(w))
                s.found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The width in pixels of an icon's image (0 for no icon).
inline int iconWidth(HICON icon) {
    ICONINFO info{};
    if (!icon || !::GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);
    if (info.hbmMask)
        ::DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

// Every record of one DirectSound private enumeration through the audio port; empty when a
// set-up step fails.
inline std::vector<plat::DsDeviceDescription> directSoundRecords() {
    plat::Audio& audio = plat::audio();
    std::vector<plat::DsDeviceDescription> records;
    const plat::Module dsound = audio.loadDsound();
    const plat::Handle factory = dsound ? audio.getClassFactory(dsound) : 0;
    const plat::Handle propertySet = factory ? audio.createPropertySet(factory) : 0;
    if (propertySet)
        audio.enumerateDevices(propertySet, [&](const plat::DsDeviceDescription& d) {
            records.push_back(d);
            return true;
        });
    audio.release(propertySet);
    audio.release(factory);
    audio.freeDsound(dsound);
    return records;
}

// The argument with which the test program, started as a child, only waits to be ended.
constexpr char kChildWaitArgument[] = "--qa-child-wait";

// The argument with which the test program, started as a child, stands in for a media
// player: it opens one top-level window (class and title follow the argument) and records
// what that window receives in a file (its path follows the title).
constexpr wchar_t kPlayerWindowArgument[] = L"--qa-player-window";

// The real platform's threads, refused until allowed: for tests that build the process-wide
// objects without their audio thread and then run threads of their own (a forwarder's, a
// link's).
class ThreadsAllowedLater final : public ForwardingThreads {
public:
    using ForwardingThreads::ForwardingThreads;
    void allow() { allowed_ = true; }
    plat::Handle startThread(std::function<void()> body) override {
        return allowed_ ? ForwardingThreads::startThread(std::move(body)) : 0;
    }

private:
    std::atomic<bool> allowed_{false};
};

// Core Audio that shows fixed render endpoints, the default being `defaultId`, and changes
// nothing. Without endpoints it is a Windows without Core Audio (no device enumerator): the
// program then reads and routes the sound mapper's preferences. Either way Wine's own
// endpoints, none of which is a test's stand-in device, stay out of sight.
class FixedCoreAudio final : public plat::CoreAudio {
public:
    FixedCoreAudio() = default;
    FixedCoreAudio(std::vector<plat::AudioEndpoint> endpoints, plat::String defaultId)
        : endpoints_(std::move(endpoints)), defaultId_(std::move(defaultId)) {}
    bool enterApartment() override { return true; }
    plat::Handle createDeviceEnumerator() override { return endpoints_.empty() ? 0 : 1; }
    bool renderEndpoints(plat::Handle, std::vector<plat::AudioEndpoint>& endpoints) override {
        endpoints = endpoints_;
        return !endpoints_.empty();
    }
    std::int32_t defaultRenderEndpoint(plat::Handle, plat::EndpointRole,
                                       plat::String& id) override {
        id = defaultId_;
        return defaultId_.empty() ? E_POINTER : S_OK;
    }
    bool endpointHardware(plat::Handle, const plat::String&, plat::EndpointHardware&) override {
        return false;
    }
    plat::Handle createPolicyConfig() override { return 0; }
    std::int32_t setDefaultEndpoint(plat::Handle, const plat::String&,
                                    plat::EndpointRole) override {
        return E_POINTER;
    }
    void release(plat::Handle) override {}

private:
    std::vector<plat::AudioEndpoint> endpoints_;
    plat::String defaultId_;
};

// A run's process-wide objects on the real platform without the threads a run starts: its
// audio thread would outlive the test and look at the platform of the tests after it. The
// device table stays as the test fills it. For the life of this object.
class ProcessObjectsWithoutThreads {
public:
    ProcessObjectsWithoutThreads() : real_(plat::current()), threads_(*real_.threads) {
        plat::Platform bundle = real_;
        bundle.threads = &threads_;
        plat::install(bundle);
        startProcessObjects();
    }
    ~ProcessObjectsWithoutThreads() {
        endProcessObjects();
        plat::install(real_);
    }
    ProcessObjectsWithoutThreads(const ProcessObjectsWithoutThreads&) = delete;
    ProcessObjectsWithoutThreads& operator=(const ProcessObjectsWithoutThreads&) = delete;

private:
    plat::Platform real_;
    NoThreads threads_;
};

// A transmitter that is present, with a link and a forwarder that do nothing: the menu's
// receiver part then reads "<no receivers>".
struct PresentTransmitter : Collaborators {
    struct Finder : TransmitterFinder {
        int findDongle() override { return 1; }
        plat::Handle getVendorHandle() override { return 0x51; }
        plat::Handle getConsumerHandle() override { return 0x52; }
    };
    struct Link : VendorLink {
        void sendHostExit() override {}
        void processNewDevices() override {}
        void stopReader() override {}
        void releaseReaderThread() override {}
    };
    struct Forwarder : KeyForwarder {};

    std::unique_ptr<TransmitterFinder> makeTransmitterFinder() override {
        return std::make_unique<Finder>();
    }
    std::unique_ptr<VendorLink> makeVendorLink(plat::Handle) override {
        return std::make_unique<Link>();
    }
    std::unique_ptr<KeyForwarder> makeKeyForwarder(plat::Handle) override {
        started = true;
        return std::make_unique<Forwarder>();
    }
    void rerouteOnDeviceChange() override {}
    void offerRestartOnDeviceChange() override {}

    std::atomic<bool> started{false};
};

inline HWND visibleWindow(const wchar_t* cls, const wchar_t* title) {
    const HWND w = ::FindWindowW(cls, title);
    return w && ::IsWindowVisible(w) ? w : nullptr;
}

// A key pressed on `to`, as input reaches it.
inline void postKey(HWND to, WPARAM vk) {
    const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    ::PostMessageW(to, WM_KEYDOWN, vk, 1 | (static_cast<LPARAM>(scan) << 16));
}

} // namespace qa_test
