// The UI conformance suite's Win32 tier: the real dialog manager (under Wine), the suite's
// templates linked into this program, and a user thread that watches for the program's
// modals and acts on them with posted keyboard and mouse input, as a person's input arrives.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <deque>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "ui_conformance.h"
#include "ui_conformance_ids.h"
#include "win32_test_support.h"

namespace conformance {

namespace {

using plat::win32::fromHwnd;
using plat::win32::toHwnd;

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    const int n = ::GetClassNameW(window, name, 64);
    return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The first descendant of `root` with this control id (a sheet's own buttons and those of
// its pages alike), or with this class.
HWND findDescendant(HWND root, int controlId, const wchar_t* cls = nullptr) {
    struct Search {
        int id;
        const wchar_t* cls;
        HWND found;
    } search{controlId, cls, nullptr};
    ::EnumChildWindows(
        root,
        [](HWND child, LPARAM param) CALLBACK -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            const bool match = s.cls ? className(child) == s.cls : ::GetDlgCtrlID(child) == s.id;
            if (match)
                s.found = child;
            return !match;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

Modal kindOf(HWND window) {
    if (className(window) == L"#32768")
        return Modal::Menu;
    if (findDescendant(window, 0, WC_TABCONTROLW))
        return Modal::Sheet;
    return findDescendant(window, IDC_QA_MARK) ? Modal::Dialog : Modal::MessageBox;
}

const char* kindName(Modal kind) {
    switch (kind) {
    case Modal::Dialog:
        return "dialog";
    case Modal::Sheet:
        return "property sheet";
    case Modal::MessageBox:
        return "message box";
    case Modal::Menu:
        return "popup menu";
    }
    return "modal";
}

String withoutAccelerators(const std::wstring& text) {
    String out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\t')
            break;
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        out += static_cast<char16_t>(text[i]);
    }
    return out;
}

void readMenu(HMENU menu, const String& prefix, std::vector<MenuItemView>& out, int depth) {
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count && depth < 8; ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 127;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) ||
            (info.fType & MFT_SEPARATOR))
            continue;
        MenuItemView item;
        item.text = prefix + withoutAccelerators(text);
        item.popup = info.hSubMenu != nullptr;
        item.id = item.popup ? 0 : info.wID;
        item.checked = (info.fState & MFS_CHECKED) != 0;
        item.radio = (info.fType & MFT_RADIOCHECK) != 0;
        item.isDefault = (info.fState & MFS_DEFAULT) != 0;
        item.enabled = (info.fState & MFS_DISABLED) == 0;
        out.push_back(item);
        if (info.hSubMenu)
            readMenu(info.hSubMenu, item.text + u">", out, depth + 1);
    }
}

// Lives on the program's thread: a posted marker reaches it once the input posted before it
// has been handled (the queue is first in, first out), whichever loop reads the queue.
class Marker {
public:
    Marker() {
        static const ATOM cls = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"QaConformanceMarker";
            return ::RegisterClassW(&wc);
        }();
        window_ = ::CreateWindowExW(0, MAKEINTATOM(cls), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), this);
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        event_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~Marker() {
        ::DestroyWindow(window_);
        ::CloseHandle(event_);
    }
    // From the user's thread: true once everything posted before has been handled.
    bool waitHandled() {
        ::ResetEvent(event_);
        ::PostMessageW(window_, WM_APP, 0, 0);
        return ::WaitForSingleObject(event_, qa_test::kWaitMs) == WAIT_OBJECT_0;
    }

private:
    static LRESULT CALLBACK proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_APP) {
            if (auto* self = reinterpret_cast<Marker*>(::GetWindowLongPtrW(window, GWLP_USERDATA)))
                ::SetEvent(self->event_);
            return 0;
        }
        return ::DefWindowProcW(window, msg, wParam, lParam);
    }

    HWND window_ = nullptr;
    HANDLE event_ = nullptr;
};

class Win32User final : public User {
public:
    Win32User(HWND modal, DWORD uiThread, Marker& marker)
        : modal_(modal), uiThread_(uiThread), marker_(marker) {}

    plat::Hwnd window() override { return className(modal_) == L"#32768" ? 0 : fromHwnd(modal_); }
    plat::Hwnd owner() override { return fromHwnd(::GetWindow(modal_, GW_OWNER)); }
    bool isDefaultButton(int controlId) override {
        const HWND button = findDescendant(modal_, controlId);
        return button && (::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    }
    std::vector<MenuItemView> menuItems() override {
        std::vector<MenuItemView> items;
        DWORD_PTR menu = 0;
        if (::SendMessageTimeoutW(modal_, MN_GETHMENU, 0, 0, SMTO_NORMAL, qa_test::kWaitMs, &menu))
            readMenu(reinterpret_cast<HMENU>(menu), String(), items, 0);
        return items;
    }
    void pressEnter() override { key(VK_RETURN); }
    void pressEscape() override { key(VK_ESCAPE); }
    void click(int controlId) override {
        const HWND button = findDescendant(modal_, controlId);
        ASSERT_NE(button, nullptr) << "no control " << controlId;
        ::PostMessageW(button, BM_CLICK, 0, 0);
        handled();
    }
    void clickTab(int index) override {
        const HWND tabs = findDescendant(modal_, 0, WC_TABCONTROLW);
        ASSERT_NE(tabs, nullptr);
        RECT r{};
        ASSERT_TRUE(::SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(&r)));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ::PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(tabs, WM_LBUTTONUP, 0, at);
        handled();
    }
    void clickItem(int controlId, int index) override { clickListItem(controlId, index, false); }
    void doubleClickItem(int controlId, int index) override {
        clickListItem(controlId, index, true);
    }
    void chooseMenuItem(const String& text) override {
        // Down once per item up to it (the first press selects the first item), then Enter.
        int downs = 0;
        bool found = false;
        for (const MenuItemView& item : menuItems()) {
            if (item.text.find(u'>') != String::npos)
                continue;
            ++downs;
            if (item.text == text) {
                found = true;
                break;
            }
        }
        ASSERT_TRUE(found) << "no menu item with that text";
        for (int i = 0; i < downs; ++i)
            post(modal_, WM_KEYDOWN, VK_DOWN);
        post(modal_, WM_KEYDOWN, VK_RETURN);
        handled();
    }

    void requestHelp(int controlId) override {
        const HWND control = findDescendant(modal_, controlId);
        ASSERT_NE(control, nullptr) << "no control " << controlId;
        HELPINFO info{};
        info.cbSize = sizeof(info);
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = controlId;
        info.hItemHandle = control;
        info.dwContextId = ::GetWindowContextHelpId(control);
        ::GetCursorPos(&info.MousePos);
        ::SendMessageW(control, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        handled();
    }

private:
    static void post(HWND to, UINT msg, WPARAM vk) {
        const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
        const LPARAM bits =
            1 | (static_cast<LPARAM>(scan) << 16) | (msg == WM_KEYUP ? (LPARAM{3} << 30) : 0);
        ::PostMessageW(to, msg, vk, bits);
    }

    // The mouse messages of a click (and, for a double click, of the second click) at the
    // middle of the item.
    void clickListItem(int controlId, int index, bool twice) {
        const HWND list = findDescendant(modal_, controlId);
        ASSERT_NE(list, nullptr) << "no control " << controlId;
        RECT r{};
        ASSERT_NE(::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index),
                                 reinterpret_cast<LPARAM>(&r)),
                  LB_ERR);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(list, WM_LBUTTONUP, 0, at);
        if (twice) {
            ::PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            ::PostMessageW(list, WM_LBUTTONUP, 0, at);
        }
        handled();
    }

    // Keys go to the control with the focus, as the system sends them.
    void key(WPARAM vk) {
        HWND to = modal_;
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (className(modal_) != L"#32768" && ::GetGUIThreadInfo(uiThread_, &info) &&
            info.hwndFocus && ::IsChild(modal_, info.hwndFocus))
            to = info.hwndFocus;
        post(to, WM_KEYDOWN, vk);
        post(to, WM_KEYUP, vk);
        handled();
    }

    void handled() { EXPECT_TRUE(marker_.waitHandled()) << "the input was not handled"; }

    HWND modal_;
    DWORD uiThread_;
    Marker& marker_;
};

class Win32Tier final : public Tier {
public:
    plat::Module templates() override { return plat::resources().programModule(); }

    void expect(Modal kind, std::function<void(User&)> act) override {
        expected_.push_back({kind, std::move(act)});
    }

    int run(std::function<int()> program) override {
        Marker marker;
        const DWORD uiThread = ::GetCurrentThreadId();
        std::atomic<bool> programDone{false};
        std::atomic<bool> userDone{false};
        std::deque<Expected> expected = std::move(expected_);
        expected_.clear();
        std::set<HWND> actedOn;
        std::string missed;

        // The user waits for each expected modal in turn and acts on it.
        std::thread user([&] {
            for (Expected& next : expected) {
                HWND found = nullptr;
                const bool opened = qa_test::waitFor([&] {
                    found = findModal(uiThread, next.kind, actedOn);
                    return found != nullptr || programDone.load();
                });
                if (!found) {
                    missed = std::string("the expected ") + kindName(next.kind) +
                             (opened ? " never opened" : " did not open in time");
                    break;
                }
                actedOn.insert(found);
                Win32User hands(found, uiThread, marker);
                next.act(hands);
            }
            // A program still waiting once the user is done waits for nothing that will come.
            if (!qa_test::waitFor([&] { return programDone.load(); })) {
                missed += " (the program did not end: its windows were closed)";
                closeWindowsOf(uiThread);
            }
            userDone = true;
        });

        const int result = program();
        programDone = true;
        // The user may still be waiting for input it posted to be handled: keep reading the
        // queue until it is done.
        while (::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT) != WAIT_FAILED) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (userDone)
                break;
        }
        user.join();
        EXPECT_TRUE(missed.empty()) << missed;
        return result;
    }

    // Windows itself reports nothing: the simulated PC's report is its own addition.
    void expectMisuseReport(const std::string&) override {}

    // Wine's ntdll exports its version; Windows' does not.
    bool isWine() override {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }

    bool objectLive(LiveKind kind, std::uintptr_t handle) override {
        if (kind == LiveKind::Menu)
            return ::IsMenu(reinterpret_cast<HMENU>(handle));
        return ::GetObjectType(reinterpret_cast<HGDIOBJ>(handle)) == OBJ_BITMAP;
    }

private:
    struct Expected {
        Modal kind;
        std::function<void(User&)> act;
    };

    static HWND findModal(DWORD uiThread, Modal kind, const std::set<HWND>& actedOn) {
        struct Search {
            Modal kind;
            const std::set<HWND>* actedOn;
            HWND found;
        } search{kind, &actedOn, nullptr};
        ::EnumThreadWindows(
            uiThread,
            [](HWND window, LPARAM param) CALLBACK -> BOOL {
                auto& s = *reinterpret_cast<Search*>(param);
                if (::IsWindowVisible(window) && !s.actedOn->count(window) &&
                    kindOf(window) == s.kind)
                    s.found = window;
                return s.found == nullptr;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static void closeWindowsOf(DWORD uiThread) {
        ::EnumThreadWindows(
            uiThread,
            [](HWND window, LPARAM) CALLBACK -> BOOL {
                ::PostMessageW(window, WM_CLOSE, 0, 0);
                return TRUE;
            },
            0);
    }

    std::deque<Expected> expected_;
};

} // namespace

std::unique_ptr<Tier> makeTier() {
    return std::make_unique<Win32Tier>();
}

} // namespace conformance
