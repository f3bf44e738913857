// The tray menu and About of the real controller under Wine: the menu is built from menu 113
// by the real backend and tracked by the controller, commands chosen with the keyboard reach
// their handlers, and About comes from the real template. A helper thread acts as the user.
#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "Collaborators.h"
#include "Globals.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "resource.h"
#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

// The numbers and texts the user meets, written out here rather than taken from the program.
constexpr const auto& kControllerTitle = shown::wide::controllerTitle;
constexpr const auto& kAboutTitle = shown::wide::aboutTitle;
constexpr const auto& kExitCaption = shown::wide::exitCaption;
constexpr UINT kTrayCallback = WM_USER + 1;
constexpr int kFirmwareLine = IDC_FIRMWARE_LINE;

using qa_test::PresentTransmitter;

struct ShownItem {
    std::wstring text;
    UINT id = 0;
    bool separator = false;
    bool grayed = false;
    bool popup = false;
};

std::vector<ShownItem> topLevelItems(HMENU menu) {
    std::vector<ShownItem> items;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 127;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        items.push_back({text, info.wID, (info.fType & MFT_SEPARATOR) != 0,
                         (info.fState & MFS_GRAYED) != 0, info.hSubMenu != nullptr});
    }
    return items;
}

using qa_test::postKey;
using qa_test::visibleWindow;

// What the user saw and did, recorded by the helper thread and checked by the test.
struct Seen {
    std::vector<ShownItem> menu;
    UINT defaultItem = 0;
    bool aboutOpened = false;
    std::wstring firmwareLine;
    std::wstring aboutCaption;
    bool aboutForwardOnSecondChoice = false;
    int aboutWindows = 0;
    bool aboutClosed = false;
    bool exitAsked = false;
};

// A run's objects of its own, without the audio thread: the device table stays empty. The
// menu, the About template and the texts come from the resource library, loaded as the
// program loads it.
class ControllerMenu : public ::testing::Test {
protected:
    void SetUp() override {
        run_.emplace();
        const plat::Module library = plat::resources().loadLibrary(u"KTRResource.dll");
        ASSERT_NE(library, 0u);
        fw::setResourceModule(library);
        globals().firmwareVersion.set(u"1.0.12:Dec 01 2005");
    }
    void TearDown() override {
        // The program itself leaves the link to the end of the process.
        Globals& g = globals();
        delete std::exchange(g.vendorLink, nullptr);
        delete std::exchange(g.keyForwarder, nullptr);
        run_.reset();
        fw::setResourceModule(0);
    }

private:
    std::optional<qa_test::ProcessObjectsWithoutThreads> run_;
};

// The user right-clicks the icon (the shell posts the callback message), waits for the menu
// and presses the Up arrow `ups` times from the bottom, then Enter. The menu's window, or
// null when none opened.
HWND chooseFromBottom(HWND controller, int ups, std::vector<ShownItem>* items = nullptr,
                      UINT* defaultItem = nullptr) {
    ::PostMessageW(controller, kTrayCallback, 114, WM_RBUTTONDOWN);
    HWND menuWindow = nullptr;
    if (!qa_test::waitFor([&] { return (menuWindow = visibleWindow(L"#32768", nullptr)); }))
        return nullptr;
    DWORD_PTR menu = 0;
    if (::SendMessageTimeoutW(menuWindow, MN_GETHMENU, 0, 0, SMTO_NORMAL, qa_test::kWaitMs,
                              &menu)) {
        if (items)
            *items = topLevelItems(reinterpret_cast<HMENU>(menu));
        if (defaultItem)
            *defaultItem = ::GetMenuDefaultItem(reinterpret_cast<HMENU>(menu), FALSE, 0);
    }
    // With nothing selected, the first Up selects the last item.
    for (int i = 0; i < ups; ++i)
        postKey(menuWindow, VK_UP);
    postKey(menuWindow, VK_RETURN);
    qa_test::waitFor([&] { return !::IsWindowVisible(menuWindow); });
    return menuWindow;
}

TEST_F(ControllerMenu, ChosenCommandsReachTheirHandlersAndAboutShowsTheFirmwareOnce) {
    PresentTransmitter parts;
    auto controller = std::make_unique<CKTRSystemTrayApplicationDlg>(0, &parts);
    const DWORD self = ::GetCurrentThreadId();
    Seen seen;
    std::thread user([&] {
        HWND window = nullptr;
        const bool ready = qa_test::waitFor([&] {
            window = ::FindWindowW(nullptr, kControllerTitle);
            return window && parts.started.load();
        });
        if (ready && chooseFromBottom(window, 2, &seen.menu, &seen.defaultItem)) {
            HWND about = nullptr;
            seen.aboutOpened =
                qa_test::waitFor([&] { return (about = visibleWindow(L"#32770", kAboutTitle)); });
            if (seen.aboutOpened) {
                seen.aboutCaption = qa_test::windowText(about);
                seen.firmwareLine = qa_test::windowText(::GetDlgItem(about, kFirmwareLine));
                // "About" again, while it is open: the menu puts the controller in front, and
                // the command brings the open dialog back instead of opening another.
                chooseFromBottom(window, 2);
                seen.aboutForwardOnSecondChoice =
                    qa_test::waitFor([&] { return ::GetForegroundWindow() == about; }, 5000);
                seen.aboutWindows =
                    static_cast<int>(qa_test::windowsOf(::GetCurrentProcessId(), [](HWND w) {
                                         return qa_test::windowText(w) == kAboutTitle;
                                     }).size());
                ::PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                seen.aboutClosed = qa_test::waitFor([&] { return !::IsWindow(about); });
            }
            // "Exit", confirmed with the box's first button ("Yes").
            if (chooseFromBottom(window, 1)) {
                HWND box = nullptr;
                seen.exitAsked = qa_test::waitFor(
                    [&] { return (box = visibleWindow(L"#32770", kExitCaption)); });
                if (seen.exitAsked)
                    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
        }
        // Whatever happened, the controller's run ends within the bound.
        if (!qa_test::waitFor([&] { return !::IsWindow(window); }, 5000)) {
            ::EnumThreadWindows(
                self,
                [](HWND w, LPARAM) CALLBACK -> BOOL {
                    ::PostMessageW(w, WM_CLOSE, 0, 0);
                    return TRUE;
                },
                0);
        }
    });
    const std::intptr_t result = controller->doModal();
    user.join();

    EXPECT_EQ(result, IDOK);
    // The simple form: no receivers, no playback items of this prefix's, then menu 113.
    ASSERT_GE(seen.menu.size(), 7u) << "the menu did not open";
    EXPECT_EQ(seen.menu.front().text, L"<no receivers>");
    EXPECT_TRUE(seen.menu.front().grayed);
    const std::size_t n = seen.menu.size();
    EXPECT_TRUE(seen.menu[n - 6].separator);
    EXPECT_EQ(seen.menu[n - 5].text, shown::wide::settings);
    EXPECT_TRUE(seen.menu[n - 4].separator);
    EXPECT_EQ(seen.menu[n - 3].text, shown::wide::help);
    EXPECT_EQ(seen.menu[n - 2].text, shown::wide::about);
    EXPECT_EQ(seen.menu[n - 1].text, shown::wide::exit);
    EXPECT_EQ(seen.defaultItem, 32772u);

    EXPECT_TRUE(seen.aboutOpened) << "About did not open from its menu item";
    EXPECT_EQ(seen.aboutCaption, kAboutTitle);
    EXPECT_EQ(seen.firmwareLine, L"Firmware:\tv1.0.12\t  12/01/2005");
    EXPECT_TRUE(seen.aboutForwardOnSecondChoice) << "the open About was not brought forward";
    EXPECT_EQ(seen.aboutWindows, 1);
    EXPECT_TRUE(seen.aboutClosed);
    EXPECT_TRUE(seen.exitAsked) << "Exit did not reach its handler";
}

} // namespace
