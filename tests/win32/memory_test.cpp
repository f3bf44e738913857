// Months without a restart, under Wine: the real controller opens its tray menu, About and the
// settings with every page, again and again, while the audio thread's enumeration pass runs
// against Wine's DirectSound and Core Audio; after a warm-up the process's private memory
// (what Windows calls its private bytes; Wine counts the anonymous memory it has resident)
// stays flat, within 1 MB.
//
// It runs for QA_MEMORY_SECONDS of wall time (20 in CI, where it must stay short); a long
// measurement is the same test with a larger value, e.g. 600 for ten minutes. To find what
// grows, QA_MEMORY_ROADS names the roads to take (any of "menu about settings audio"; all by
// default).
#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "Application.h"
#include "AudioDevices.h"
#include "AudioEndpoints.h"
#include "Globals.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

// Texts and numbers the user meets, written out here rather than taken from the program.
constexpr const auto& kControllerTitle = shown::wide::controllerTitle;
constexpr const auto& kAboutTitle = shown::wide::aboutTitle;
constexpr const auto& kSettingsTitle = shown::wide::settingsTitle;
constexpr UINT kTrayCallback = WM_USER + 1;
constexpr WPARAM kOpenSettings = 1;
constexpr int kPages = 4;
constexpr SIZE_T kAllowedGrowth = 1024 * 1024;

using qa_test::PresentTransmitter;
using qa_test::postKey;
using qa_test::visibleWindow;

// The commit charge, which is the process's private memory on Windows (PrivateUsage of the
// extended record is the same figure, and Wine fills only the basic record).
SIZE_T privateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)))
        return 0;
    return counters.PagefileUsage;
}

// The tray menu by a right click; the Up arrow `ups` times from the bottom, then Enter, or
// Escape when `ups` is 0. False when no menu opened.
bool useMenu(HWND controller, int ups) {
    ::PostMessageW(controller, kTrayCallback, 114, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    if (!qa_test::waitFor([&] { return (menu = visibleWindow(L"#32768", nullptr)); }))
        return false;
    for (int i = 0; i < ups; ++i)
        postKey(menu, VK_UP);
    postKey(menu, ups ? VK_RETURN : VK_ESCAPE);
    return qa_test::waitFor([&] { return !::IsWindowVisible(menu); });
}

const char* aboutRound(HWND controller) {
    if (!useMenu(controller, 2))
        return "the menu for About";
    const HWND about = qa_test::waitForVisibleWindow(kAboutTitle);
    if (!about)
        return "About opening";
    ::PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    if (!qa_test::waitFor([&] { return !::IsWindow(about); }))
        return "About closing";
    return nullptr;
}

const char* settingsRound(HWND controller) {
    ::PostMessageW(controller, WM_USER, kOpenSettings, 0);
    const HWND sheet = qa_test::waitForVisibleWindow(kSettingsTitle);
    if (!sheet)
        return "the settings opening";
    const char* only = std::getenv("QA_MEMORY_PAGE"); // to find what grows: one page alone
    for (int page = 1; page <= kPages; ++page)
        if (!only || std::atoi(only) == page % kPages)
            ::SendMessageW(sheet, PSM_SETCURSEL, page % kPages, 0);
    // A click on Close.
    ::PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(sheet, IDOK)));
    if (!qa_test::waitFor([&] { return !::IsWindow(sheet); }))
        return "the settings closing";
    return nullptr;
}

bool takes(const char* road) {
    const char* roads = std::getenv("QA_MEMORY_ROADS");
    return !roads || std::strstr(roads, road);
}

// One round of the user's roads; what did not come or go, or nothing.
const char* userRound(HWND controller) {
    if (takes("menu") && !useMenu(controller, 0))
        return "the menu dismissed with Escape";
    if (takes("about"))
        if (const char* failed = aboutRound(controller))
            return failed;
    if (takes("settings"))
        if (const char* failed = settingsRound(controller))
            return failed;
    if (!takes("menu") && !takes("about") && !takes("settings"))
        ::Sleep(100);
    return nullptr;
}

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        run_.emplace();
        const plat::Module library = plat::resources().loadLibrary(u"KTRResource.dll");
        ASSERT_NE(library, 0u);
        fw::setResourceModule(library);
    }
    void TearDown() override {
        Globals& g = globals();
        delete std::exchange(g.vendorLink, nullptr);
        delete std::exchange(g.keyForwarder, nullptr);
        run_.reset();
        fw::setResourceModule(0);
    }

private:
    std::optional<qa_test::ProcessObjectsWithoutThreads> run_;
};

TEST_F(MemoryTest, PrivateMemoryStaysFlatWhileTheRoadsRepeat) {
    const char* setting = std::getenv("QA_MEMORY_SECONDS");
    const DWORD seconds = setting ? static_cast<DWORD>(std::strtoul(setting, nullptr, 10)) : 20;
    const ULONGLONG start = ::GetTickCount64();
    const ULONGLONG warmedUp = start + seconds * 1000 / 4;
    const ULONGLONG end = start + seconds * 1000;

    // The audio thread's passes, back to back rather than one a second.
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};
    std::thread audio([&] {
        plat::coreAudio().enterApartment();
        TransmitterEndpoints transmitters;
        while (!stop && takes("audio")) {
            bool changed = false;
            audioEnumerationPass(changed, transmitters);
            ++passes;
            ::Sleep(20);
        }
    });

    PresentTransmitter parts;
    auto controller = std::make_unique<CKTRSystemTrayApplicationDlg>(0, &parts);
    int rounds = 0;
    const char* failed = nullptr;
    SIZE_T atWarmUp = 0, atEnd = 0, peak = 0;
    std::thread user([&] {
        HWND window = nullptr;
        if (!qa_test::waitFor([&] { return (window = ::FindWindowW(nullptr, kControllerTitle)); })) {
            failed = "the controller";
            return;
        }
        while (::GetTickCount64() < end) {
            if ((failed = userRound(window)))
                break;
            ++rounds;
            const SIZE_T now = privateBytes();
            if (!atWarmUp && ::GetTickCount64() >= warmedUp)
                atWarmUp = now;
            if (atWarmUp)
                peak = std::max(peak, now);
            atEnd = now;
        }
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    controller->doModal();
    user.join();
    stop = true;
    audio.join();
    controller.reset();

    std::printf("memory: %d rounds and %d audio passes in %lu s; private memory %lu KB after "
                "the warm-up, %lu KB at the end (peak %lu KB)\n",
                rounds, passes.load(), static_cast<unsigned long>(seconds),
                static_cast<unsigned long>(atWarmUp / 1024),
                static_cast<unsigned long>(atEnd / 1024), static_cast<unsigned long>(peak / 1024));
    ASSERT_EQ(failed, nullptr) << "a window did not come or go: " << failed << ", after " << rounds
                               << " rounds";
    ASSERT_GT(atWarmUp, 0u) << "GetProcessMemoryInfo gave nothing";
    EXPECT_LE(atEnd, atWarmUp + kAllowedGrowth);
}

} // namespace
