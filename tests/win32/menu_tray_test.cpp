// Menus, the popup menu's modal run and the notification-area icon through the
// user-interface port.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "resource.h"
#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

using plat::String;

std::wstring menuText(HMENU menu, UINT item, UINT by) {
    wchar_t text[128] = {};
    const int n = ::GetMenuStringW(menu, item, text, 128, by);
    return std::wstring(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

LRESULT CALLBACK ownerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

class MenuOwner : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW cls{};
        cls.lpfnWndProc = ownerProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"QuorvaneAuravoWin32TestOwner";
        ::RegisterClassW(&cls);
        owner_.reset(::CreateWindowExW(0, cls.lpszClassName,
                                       qa_test::uniqueName(L"QA owner").c_str(), WS_POPUP, 0, 0, 10,
                                       10, nullptr, nullptr, cls.hInstance, nullptr));
        ASSERT_TRUE(owner_);
    }
    plat::Hwnd owner() const { return plat::win32::fromHwnd(owner_.get()); }
    // Menu 113 of `module` holds its one popup with its six items.
    void expectTrayMenu(plat::Module module);

    plat::UserInterface& ui = plat::ui();
    plat::win32::UniqueWindow owner_;
};

TEST_F(MenuOwner, BuildsRadioGroupsDefaultsAndSubmenus) {
    plat::win32::UniqueMenu menu(plat::win32::toMenu(ui.createPopupMenu()));
    ASSERT_TRUE(menu);
    const plat::HMenu m = plat::win32::fromMenu(menu.get());
    ASSERT_TRUE(ui.appendMenu(m, MF_STRING, 5000, u"Quorvane Auravo"));
    ASSERT_TRUE(ui.appendMenu(m, MF_STRING, 5001, shown::myComputer));
    ASSERT_TRUE(ui.insertMenu(m, 0, MF_BYPOSITION | MF_STRING, IDM_SETTINGS, shown::settings));
    ASSERT_TRUE(ui.appendMenu(m, MF_SEPARATOR, 0, u""));
    const plat::HMenu sub = ui.createPopupMenu();
    ASSERT_TRUE(ui.appendMenu(sub, MF_STRING, 9000, u"Winamp \u2192 speakers"));
    ASSERT_TRUE(ui.appendMenu(m, MF_POPUP, sub, u"Winamp"));

    ASSERT_EQ(::GetMenuItemCount(menu.get()), 5);
    EXPECT_EQ(menuText(menu.get(), 0, MF_BYPOSITION), shown::wide::settings);
    EXPECT_EQ(menuText(menu.get(), 5001, MF_BYCOMMAND), shown::wide::myComputer);
    EXPECT_EQ(ui.getSubMenu(m, 4), sub);
    EXPECT_EQ(menuText(plat::win32::toMenu(sub), 0, MF_BYPOSITION), L"Winamp \u2192 speakers");

    ASSERT_TRUE(ui.checkMenuRadioItem(m, 5000, 5001, 5001, MF_BYCOMMAND));
    EXPECT_TRUE(::GetMenuState(menu.get(), 5001, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(::GetMenuState(menu.get(), 5000, MF_BYCOMMAND) & MF_CHECKED);
    ASSERT_TRUE(ui.setMenuDefaultItem(m, IDM_SETTINGS, false));
    EXPECT_EQ(::GetMenuDefaultItem(menu.get(), FALSE, 0), UINT(IDM_SETTINGS));

    EXPECT_TRUE(ui.destroyMenu(plat::win32::fromMenu(menu.release())));
}

// Menu 113 from the program's own resources and from the resource library as the program
// loads it (a data file): one popup, "QuorvaneMenu", holding separator, Settings, separator,
// Help, About, Exit with their commands.
TEST_F(MenuOwner, TrayMenuResourceLoadsWithItsCommands) {
    const plat::Module library = plat::resources().loadLibrary(u"KTRResource.dll");
    ASSERT_NE(library, 0u);
    for (const plat::Module module : {plat::resources().programModule(), library}) {
        SCOPED_TRACE(module == library ? "KTRResource.dll" : "program");
        expectTrayMenu(module);
    }
}

void MenuOwner::expectTrayMenu(plat::Module module) {
    plat::win32::UniqueMenu menu(plat::win32::toMenu(ui.loadMenu(module, IDR_TRAYMENU)));
    ASSERT_TRUE(menu);
    ASSERT_EQ(::GetMenuItemCount(menu.get()), 1);
    EXPECT_EQ(menuText(menu.get(), 0, MF_BYPOSITION), L"QuorvaneMenu");
    const plat::HMenu popup = ui.getSubMenu(plat::win32::fromMenu(menu.get()), 0);
    ASSERT_NE(popup, 0u);
    const HMENU items = plat::win32::toMenu(popup);
    const struct {
        const wchar_t* text; // null: a separator
        UINT id;
    } expected[] = {{nullptr, 0},
                    {shown::wide::settings, IDM_SETTINGS},
                    {nullptr, 0},
                    {shown::wide::help, IDM_HELP},
                    {shown::wide::about, IDM_ABOUT},
                    {shown::wide::exit, IDM_EXIT}};
    ASSERT_EQ(::GetMenuItemCount(items), 6);
    for (UINT i = 0; i < 6; ++i) {
        const UINT state = ::GetMenuState(items, i, MF_BYPOSITION);
        if (!expected[i].text) {
            EXPECT_TRUE(state & MF_SEPARATOR) << i;
            continue;
        }
        EXPECT_EQ(menuText(items, i, MF_BYPOSITION), expected[i].text) << i;
        EXPECT_EQ(::GetMenuItemID(items, static_cast<int>(i)), expected[i].id) << i;
        EXPECT_FALSE(state & (MF_GRAYED | MF_DISABLED | MF_CHECKED)) << i;
    }
    EXPECT_EQ(ui.loadMenu(module, 9999), 0u);
}

// The popup's modal loop reads the keyboard from this thread's queue: keys queued before
// it opens choose the first item, whose command then arrives at the owner.
TEST_F(MenuOwner, ChosenCommandIsPostedToTheOwner) {
    const plat::HMenu m = ui.createPopupMenu();
    ASSERT_TRUE(ui.appendMenu(m, MF_STRING, IDM_SETTINGS, shown::settings));
    ASSERT_TRUE(ui.appendMenu(m, MF_STRING, IDM_EXIT, shown::exit));
    ::SetForegroundWindow(owner_.get());
    ::PostMessageW(owner_.get(), WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageW(owner_.get(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(ui.trackPopupMenu(m, TPM_RIGHTBUTTON, {20, 20}, owner()));

    WPARAM command = 0;
    EXPECT_TRUE(qa_test::waitFor(
        [&] {
            MSG msg;
            while (::PeekMessageW(&msg, owner_.get(), WM_COMMAND, WM_COMMAND, PM_REMOVE))
                command = msg.wParam;
            return command != 0;
        },
        5000));
    EXPECT_EQ(LOWORD(command), UINT(IDM_SETTINGS));
    EXPECT_TRUE(ui.destroyMenu(m));
}

TEST_F(MenuOwner, NotificationIconIsAddedChangedAndRemoved) {
    const plat::Module program = plat::resources().programModule();
    plat::NotifyIconData data;
    data.window = owner();
    data.id = IDI_TRAY_NOTLINKED;
    data.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.callbackMessage = WM_USER + 1;
    data.icon = plat::resources().loadIcon(program, IDI_TRAY_NOTLINKED);
    // Longer than the first layout's tip: cut, not overrun.
    data.tip = String(100, u'A');
    ASSERT_NE(data.icon, 0u);

    ASSERT_TRUE(ui.shellNotifyIcon(NIM_ADD, data));
    data.icon = plat::resources().loadIcon(program, IDI_TRAY_LINKED);
    EXPECT_TRUE(ui.shellNotifyIcon(NIM_MODIFY, data));
    EXPECT_TRUE(ui.shellNotifyIcon(NIM_DELETE, data));
    EXPECT_FALSE(ui.shellNotifyIcon(NIM_DELETE, data));
}

// The record Shell_NotifyIconW receives, field by field, in its first layout.
TEST(NotifyIconRecord, CarriesEveryFieldInTheFirstLayout) {
    plat::NotifyIconData data;
    data.window = 0x1234;
    data.id = 114;
    data.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.callbackMessage = 0x0401;
    data.icon = 0x5678;
    data.tip = std::u16string(70, u'a') + u"\u2122";
    const NOTIFYICONDATAW record = plat::win32::toNotifyIconData(data);
    // The first layout ends right after a 64-character tip: 152 bytes on 32-bit Windows.
    EXPECT_EQ(record.cbSize, offsetof(NOTIFYICONDATAW, szTip) + 64 * sizeof(WCHAR));
    EXPECT_EQ(record.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
    if (sizeof(void*) == 4)
        EXPECT_EQ(record.cbSize, 152u);
    EXPECT_EQ(record.hWnd, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(record.uID, 114u);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 0x0401u);
    EXPECT_EQ(record.hIcon, reinterpret_cast<HICON>(0x5678));
    EXPECT_EQ(std::wstring(record.szTip), std::wstring(63, L'a')) << "cut to 63 characters";

    data.tip = u"Quorvane Auravo\u2122";
    EXPECT_EQ(std::wstring(plat::win32::toNotifyIconData(data).szTip), L"Quorvane Auravo\u2122");
}

} // namespace
