// Dialogs and property sheets from the program's own templates, through the
// user-interface port, with targets that drive them from inside their modal loops.
#include <windows.h>

#include <commctrl.h>
#include <dbt.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "resource.h"
#include "win32_test_support.h"

namespace {

using plat::String;

class ScriptedTarget : public plat::DialogTarget {
public:
    using Handler =
        std::function<bool(plat::Hwnd, std::uint32_t, plat::WParam, plat::LParam, plat::LResult&)>;
    explicit ScriptedTarget(Handler h) : handler(std::move(h)) {}
    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult& result) override {
        messages.push_back(msg);
        return handler(window, msg, wParam, lParam, result);
    }
    Handler handler;
    std::vector<std::uint32_t> messages;
};

constexpr std::uintptr_t kTimerId = 7;

// A target that starts a timer at initialisation and runs `onTimer` when it fires: by then
// the dialog's modal loop is running.
ScriptedTarget timerTarget(std::function<void(plat::Hwnd)> onTimer) {
    return ScriptedTarget([onTimer](plat::Hwnd w, std::uint32_t msg, plat::WParam wParam,
                                    plat::LParam, plat::LResult& result) {
        if (msg == WM_INITDIALOG) {
            plat::desktop().setTimer(w, kTimerId, 10);
            result = TRUE;
            return true;
        }
        if (msg == WM_TIMER && wParam == kTimerId) {
            plat::desktop().killTimer(w, kTimerId);
            onTimer(w);
            result = 0;
            return true;
        }
        return false;
    });
}

plat::Module resourceLibrary() {
    static const plat::Module library = plat::resources().loadLibrary(u"KTRResource.dll");
    return library;
}

TEST(DialogPort, ControllerTemplateRunsUntilTheTargetEndsIt) {
    for (const plat::Module module : {plat::resources().programModule(), resourceLibrary()}) {
        SCOPED_TRACE(module == plat::resources().programModule() ? "program" : "KTRResource.dll");
        ASSERT_NE(module, 0u);
        String titleSeen;
        ScriptedTarget target = timerTarget([&](plat::Hwnd w) {
            plat::desktop().setWindowText(w, u"QA controller template");
            titleSeen = plat::desktop().getWindowText(w);
            plat::ui().endDialog(w, 42);
        });
        EXPECT_EQ(plat::ui().dialogBox(module, IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, 0, &target),
                  42);
        ASSERT_FALSE(target.messages.empty());
        EXPECT_EQ(target.messages.front(), WM_INITDIALOG);
        EXPECT_EQ(titleSeen, u"QA controller template");
    }
}

TEST(DialogPort, MissingTemplateFails) {
    ScriptedTarget target([](auto...) { return false; });
    EXPECT_EQ(plat::ui().dialogBox(plat::resources().programModule(), 9999, 0, &target), -1);
    EXPECT_TRUE(target.messages.empty());
}

// Windows takes most handled results from DWLP_MSGRESULT and a few straight from the dialog
// procedure; either way the sender must get the target's result. What the target leaves
// goes to the default processing, which turns WM_CLOSE into IDCANCEL.
TEST(DialogPort, HandledResultsReachTheSenderAndUnhandledOnesGetDefaults) {
    constexpr std::uint32_t kAsk = WM_APP + 1;
    constexpr std::uint32_t kIgnored = WM_APP + 2;
    LRESULT asked = 0, dragIcon = 0, ignored = -1;
    bool cancelSeen = false;
    ScriptedTarget target([&](plat::Hwnd w, std::uint32_t msg, plat::WParam wParam, plat::LParam,
                              plat::LResult& result) {
        switch (msg) {
        case WM_INITDIALOG:
            plat::desktop().setTimer(w, kTimerId, 10);
            result = TRUE;
            return true;
        case WM_TIMER:
            plat::desktop().killTimer(w, kTimerId);
            asked = plat::desktop().sendMessage(w, kAsk, 0, 0);
            dragIcon = plat::desktop().sendMessage(w, WM_QUERYDRAGICON, 0, 0);
            ignored = plat::desktop().sendMessage(w, kIgnored, 0, 0);
            plat::desktop().postMessage(w, WM_CLOSE, 0, 0);
            result = 0;
            return true;
        case kAsk:
            result = 1234;
            return true;
        case WM_QUERYDRAGICON:
            result = 0x5678;
            return true;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                cancelSeen = true;
                plat::ui().endDialog(w, IDCANCEL);
                result = 0;
                return true;
            }
            return false;
        default:
            return false;
        }
    });
    EXPECT_EQ(plat::ui().dialogBox(0, IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, 0, &target), IDCANCEL);
    EXPECT_EQ(asked, 1234);
    EXPECT_EQ(dragIcon, 0x5678);
    EXPECT_EQ(ignored, 0);
    EXPECT_TRUE(cancelSeen);
}

// A device-interface record as the system delivers it; `declaredSize` may cut it short.
std::vector<DWORD> deviceInterfaceRecord(const std::wstring& name,
                                         std::optional<DWORD> declaredSize = {}) {
    constexpr std::size_t nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    const std::size_t bytes = nameOffset + (name.size() + 1) * sizeof(wchar_t);
    std::vector<DWORD> storage((bytes + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
    auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
    record->dbcc_size = declaredSize.value_or(static_cast<DWORD>(bytes));
    record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::copy(name.begin(), name.end(), record->dbcc_name);
    return storage;
}

TEST(DialogPort, DeviceChangeAndHelpArriveInPortableForm) {
    struct Seen {
        plat::WParam wParam;
        bool hasInfo;
        plat::DeviceChangeInfo info;
    };
    std::vector<Seen> changes;
    std::optional<plat::HelpInfo> help;
    plat::Hwnd dialog = 0;
    const std::wstring path = L"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_03&Col01#7&1a2b3c4d&0&0000#{"
                              L"4d1e55b2-f16f-11cf-88cb-001111000030}";

    ScriptedTarget target([&](plat::Hwnd w, std::uint32_t msg, plat::WParam wParam,
                              plat::LParam lParam, plat::LResult& result) {
        switch (msg) {
        case WM_INITDIALOG:
            plat::desktop().setTimer(w, kTimerId, 10);
            result = TRUE;
            return true;
        case WM_TIMER: {
            plat::desktop().killTimer(w, kTimerId);
            const HWND window = plat::win32::toHwnd(w);
            dialog = w;
            auto whole = deviceInterfaceRecord(path);
            ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                           reinterpret_cast<LPARAM>(whole.data()));
            // A record whose declared size ends inside the name, with no terminator there.
            constexpr DWORD fourChars =
                offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + 4 * sizeof(wchar_t);
            auto cut = deviceInterfaceRecord(path, fourChars);
            ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE,
                           reinterpret_cast<LPARAM>(cut.data()));
            ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);

            HELPINFO info{};
            info.cbSize = sizeof(info);
            info.iContextType = HELPINFO_WINDOW;
            info.dwContextId = 77;
            info.MousePos = {10, 20};
            info.hItemHandle = window;
            ::SendMessageW(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
            plat::ui().endDialog(w, IDOK);
            result = 0;
            return true;
        }
        case WM_DEVICECHANGE: {
            const auto* info = reinterpret_cast<const plat::DeviceChangeInfo*>(lParam);
            changes.push_back({wParam, info != nullptr, info ? *info : plat::DeviceChangeInfo{}});
            result = TRUE;
            return true;
        }
        case WM_HELP:
            if (lParam)
                help = *reinterpret_cast<const plat::HelpInfo*>(lParam);
            result = TRUE;
            return true;
        default:
            return false;
        }
    });
    ASSERT_EQ(plat::ui().dialogBox(0, IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, 0, &target), IDOK);

    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].wParam, DBT_DEVICEARRIVAL);
    ASSERT_TRUE(changes[0].hasInfo);
    EXPECT_EQ(changes[0].info.deviceType, DBT_DEVTYP_DEVICEINTERFACE);
    EXPECT_EQ(changes[0].info.name, qa_test::u16(path));

    EXPECT_EQ(changes[1].wParam, DBT_DEVICEREMOVECOMPLETE);
    ASSERT_TRUE(changes[1].hasInfo);
    EXPECT_EQ(changes[1].info.name, u"\\\\?\\");

    EXPECT_EQ(changes[2].wParam, static_cast<plat::WParam>(DBT_DEVNODES_CHANGED));
    EXPECT_FALSE(changes[2].hasInfo);

    ASSERT_TRUE(help.has_value());
    EXPECT_EQ(help->contextId, 77u);
    EXPECT_EQ(help->mousePos, (plat::Point{10, 20}));
    EXPECT_EQ(help->item, dialog); // the window help was asked for: the popup's caller
}

// The sheet and each page reach their own targets; only the page shown is created.
TEST(PropertySheetPort, SheetAndPagesReachTheirTargets) {
    int activeIndex = -2;
    std::wstring caption;
    bool helpButton = false;
    ScriptedTarget sheet = timerTarget([&](plat::Hwnd w) {
        const HWND window = plat::win32::toHwnd(w);
        activeIndex = plat::ui().activePageIndex(w);
        caption = qa_test::windowText(window);
        helpButton = ::GetDlgItem(window, IDHELP) != nullptr;
        PropSheet_PressButton(window, PSBTN_CANCEL);
    });
    ScriptedTarget page0([](auto...) { return false; });
    ScriptedTarget page1([](auto...) { return false; });

    plat::PropertySheetSpec setup;
    setup.caption = u"Quorvane Auravo Settings (test)";
    setup.startPage = 1;
    setup.sheet = &sheet;
    // The controller's template serves as a page: the sheet makes any template a child.
    setup.pages = {{0, IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, &page0},
                  {0, IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, &page1}};
    EXPECT_EQ(plat::ui().propertySheet(setup), 0); // cancelled, nothing changed

    ASSERT_FALSE(sheet.messages.empty());
    EXPECT_EQ(sheet.messages.front(), WM_INITDIALOG);
    EXPECT_EQ(activeIndex, 1);
    EXPECT_EQ(caption, L"Quorvane Auravo Settings (test)");
    EXPECT_TRUE(helpButton);
    EXPECT_TRUE(page0.messages.empty());
    ASSERT_FALSE(page1.messages.empty());
    EXPECT_EQ(page1.messages.front(), WM_INITDIALOG);
}

TEST(PropertySheetPort, SheetWithoutPagesFails) {
    plat::PropertySheetSpec setup;
    setup.caption = u"empty";
    EXPECT_EQ(plat::ui().propertySheet(setup), -1);
}

} // namespace
