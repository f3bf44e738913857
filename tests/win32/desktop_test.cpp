// The windows-and-messages port against real top-level windows of this process.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace {

using plat::String;

constexpr UINT kAdd = WM_APP + 10;

LRESULT CALLBACK testWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kAdd)
        return static_cast<LRESULT>(wParam) + lParam;
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

class DesktopPort : public ::testing::Test {
protected:
    static constexpr wchar_t kClass[] = L"QuorvaneAuravoWin32TestWindow";

    void SetUp() override {
        WNDCLASSW cls{};
        cls.lpfnWndProc = testWindowProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = kClass;
        ::RegisterClassW(&cls); // fails harmlessly when an earlier test registered it
        title_ = qa_test::uniqueName(L"QA desktop window");
        window_.reset(::CreateWindowExW(0, kClass, title_.c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 200,
                                        100, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                        nullptr));
        ASSERT_TRUE(window_);
    }

    plat::Hwnd window() const { return plat::win32::fromHwnd(window_.get()); }

    plat::Desktop& desktop = plat::desktop();
    std::wstring title_;
    plat::win32::UniqueWindow window_;
};

TEST_F(DesktopPort, FindsTopLevelWindowsByExactTitleAndClass) {
    const String title = qa_test::u16(title_);
    const String cls = qa_test::u16(kClass);
    EXPECT_EQ(desktop.findWindow(nullptr, &title), window());
    EXPECT_EQ(desktop.findWindow(&cls, &title), window());
    const String longer = title + u"x";
    EXPECT_EQ(desktop.findWindow(nullptr, &longer), 0u);
    const String prefix = title.substr(0, title.size() - 1);
    EXPECT_EQ(desktop.findWindow(nullptr, &prefix), 0u);

    std::uint32_t process = 0;
    EXPECT_EQ(desktop.getWindowThreadProcessId(window(), &process), ::GetCurrentThreadId());
    EXPECT_EQ(process, ::GetCurrentProcessId());
    EXPECT_TRUE(desktop.isWindow(window()));
    window_.reset();
    EXPECT_FALSE(desktop.isWindow(window()));
    EXPECT_EQ(desktop.findWindow(nullptr, &title), 0u);
}

TEST_F(DesktopPort, TextStyleStateAndPlacementRoundTrip) {
    const String text = u"Quorvane Auravo\u2122 \u00e9t\u00e9";
    EXPECT_TRUE(desktop.setWindowText(window(), text));
    EXPECT_EQ(desktop.getWindowText(window()), text);
    EXPECT_TRUE(desktop.setWindowText(window(), u""));
    EXPECT_EQ(desktop.getWindowText(window()), u"");

    const std::uint32_t before = desktop.getExStyle(window());
    EXPECT_FALSE(before & WS_EX_APPWINDOW);
    desktop.setExStyle(window(), before | WS_EX_APPWINDOW | WS_EX_CONTEXTHELP);
    EXPECT_EQ(desktop.getExStyle(window()), before | WS_EX_APPWINDOW | WS_EX_CONTEXTHELP);

    EXPECT_FALSE(desktop.isWindowVisible(window()));
    EXPECT_FALSE(desktop.showWindow(window(), SW_SHOW)); // was hidden
    EXPECT_TRUE(desktop.isWindowVisible(window()));
    EXPECT_TRUE(desktop.showWindow(window(), SW_HIDE)); // was visible
    EXPECT_FALSE(desktop.isWindowVisible(window()));

    EXPECT_FALSE(desktop.enableWindow(window(), false)); // was enabled
    EXPECT_FALSE(desktop.isWindowEnabled(window()));
    EXPECT_TRUE(desktop.enableWindow(window(), true)); // was disabled
    EXPECT_TRUE(desktop.isWindowEnabled(window()));

    plat::WindowPlacement placement;
    ASSERT_TRUE(desktop.getWindowPlacement(window(), placement));
    EXPECT_EQ(placement.normalPosition, (plat::Rect{10, 10, 210, 110}));
    placement.normalPosition.left -= 30;
    placement.normalPosition.right += 30;
    ASSERT_TRUE(desktop.setWindowPlacement(window(), placement));
    plat::WindowPlacement after;
    ASSERT_TRUE(desktop.getWindowPlacement(window(), after));
    EXPECT_EQ(after.normalPosition, (plat::Rect{-20, 10, 240, 110}));
}

TEST_F(DesktopPort, MessagesReachTheWindowSentAndPosted) {
    EXPECT_EQ(desktop.sendMessage(window(), kAdd, 40, 2), 42);

    ASSERT_TRUE(desktop.postMessage(window(), WM_APP + 11, 5, 6));
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, window_.get(), WM_APP + 11, WM_APP + 11, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_EQ(msg.lParam, 6);
    EXPECT_FALSE(desktop.postMessage(0x12345678, WM_APP, 0, 0));
}

TEST_F(DesktopPort, TimerArrivesWithItsIdUntilKilled) {
    EXPECT_EQ(desktop.setTimer(window(), 5, 10), 5u);
    bool fired = false;
    // WM_TIMER is made when the queue is read with a filter that includes it.
    EXPECT_TRUE(qa_test::waitFor([&] {
        MSG msg;
        while (::PeekMessageW(&msg, window_.get(), WM_TIMER, WM_TIMER, PM_REMOVE))
            if (msg.wParam == 5)
                fired = true;
        return fired;
    }));
    EXPECT_TRUE(desktop.killTimer(window(), 5));
    EXPECT_FALSE(desktop.killTimer(window(), 5));
}

TEST_F(DesktopPort, RegisteredMessagesAndDeviceNotifications) {
    const std::uint32_t created = desktop.registerWindowMessage(u"TaskbarCreated");
    EXPECT_GE(created, 0xC000u);
    EXPECT_EQ(desktop.registerWindowMessage(u"TaskbarCreated"), created);
    EXPECT_NE(desktop.registerWindowMessage(qa_test::u16(qa_test::uniqueName(L"QA message"))),
              created);

    const plat::Handle notification =
        desktop.registerDeviceNotification(window(), plat::hid().getHidGuid());
    ASSERT_NE(notification, 0u);
    EXPECT_TRUE(::UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(notification)));
}

// What the port asks of the message filter, which Wine accepts whatever it is told: to let the
// message through to this window (MSGFLT_ALLOW, 1), not to keep it out (MSGFLT_DISALLOW, 2).
struct FilterCall {
    HWND window = nullptr;
    UINT msg = 0;
    DWORD action = 0;
    const void* record = nullptr;
    int calls = 0;
} filterCall;

BOOL WINAPI recordFilterCall(HWND window, UINT msg, DWORD action, PCHANGEFILTERSTRUCT record) {
    filterCall = {window, msg, action, record, filterCall.calls + 1};
    return TRUE;
}

TEST_F(DesktopPort, TheMessageFilterIsAskedToLetTheMessageThrough) {
    EXPECT_TRUE(plat::win32::allowMessageThrough(&recordFilterCall, window(), 0x0401));
    EXPECT_EQ(filterCall.calls, 1);
    EXPECT_EQ(filterCall.window, window_.get());
    EXPECT_EQ(filterCall.msg, 0x0401u);
    EXPECT_EQ(filterCall.action, 1u);
    EXPECT_EQ(filterCall.record, nullptr);
    // The real call, as the port makes it, is accepted (Wine does nothing with it).
    EXPECT_TRUE(desktop.allowMessageFromLowerIntegrity(window(), 0x0401));
}

} // namespace
