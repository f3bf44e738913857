// The tray controller's services against the real API: its message boxes with string-table
// button texts, its tray icon, and the real program's answers to the end of the session.
// Boxes and windows are found and answered by a helper thread, as a user would.
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Application.h"
#include "CMessageBox.h"
#include "Collaborators.h"
#include "Globals.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "resource.h"
#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

using plat::win32::UniqueHandle;

constexpr const auto& kControllerTitle = shown::wide::controllerTitle;

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    const int n = ::GetClassNameW(window, name, 64);
    return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

template <class Visit> void forEachChild(HWND parent, Visit visit) {
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM p) CALLBACK -> BOOL {
            (*reinterpret_cast<Visit*>(p))(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&visit));
}

template <class Visit> void forEachWindowOfThread(DWORD thread, Visit visit) {
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM p) CALLBACK -> BOOL {
            (*reinterpret_cast<Visit*>(p))(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&visit));
}

// Ends whatever dialog `thread` has open by pressing its first button, so that a box
// that is not the expected one (or one without a Cancel) cannot hold the test forever.
void pressAnyButtonOfDialogsOf(DWORD thread) {
    forEachWindowOfThread(thread, [](HWND window) {
        if (className(window) != L"#32770")
            return;
        HWND first = nullptr;
        forEachChild(window, [&](HWND child) {
            if (!first && className(child) == L"Button")
                first = child;
        });
        if (first)
            ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(first), BN_CLICKED),
                           reinterpret_cast<LPARAM>(first));
        else
            ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
}

// ---------------------------------------------------------------- LocalizedMessageBox

// What the helper saw on the box before pressing.
struct Seen {
    bool found = false;
    bool pressed = false;
    std::vector<std::wstring> buttons; // texts of the visible buttons
    std::wstring okText;               // button IDOK, empty when there is none
    std::wstring cancelText;           // button IDCANCEL, empty when there is none
    bool hasCancel = false;
    LONG_PTR exStyle = 0;
    HICON icon = nullptr; // the box's icon control's image, null when it has none
};

Seen readBox(HWND box) {
    Seen seen;
    seen.found = true;
    forEachChild(box, [&](HWND child) {
        const std::wstring cls = className(child);
        if (cls == L"Button" && ::IsWindowVisible(child))
            seen.buttons.push_back(qa_test::windowText(child));
        if (cls == L"Static" && (::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            seen.icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
    });
    seen.okText = qa_test::windowText(::GetDlgItem(box, IDOK));
    seen.hasCancel = ::GetDlgItem(box, IDCANCEL) != nullptr;
    seen.cancelText = qa_test::windowText(::GetDlgItem(box, IDCANCEL));
    seen.exStyle = ::GetWindowLongPtrW(box, GWL_EXSTYLE);
    return seen;
}

// Strings, templates and icons come from this test program's own copy of the resources.
class WithProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = fw::resourceModule();
        fw::setResourceModule(plat::resources().programModule());
    }
    void TearDown() override { fw::setResourceModule(saved_); }

private:
    plat::Module saved_ = 0;
};

class LocalizedBox : public WithProgramResources {
protected:
    // LocalizedMessageBox on this thread while a helper finds the box by its caption, reads
    // it and presses button `press` (IDOK or IDCANCEL).
    int show(std::uint32_t style, int press, Seen& seen) {
        const std::wstring caption = qa_test::uniqueName(L"QA localized box");
        const DWORD self = ::GetCurrentThreadId();
        std::thread helper([&seen, caption, press, self] {
            HWND box = nullptr;
            const bool shown = qa_test::waitFor([&] {
                box = ::FindWindowW(L"#32770", caption.c_str());
                // Shown only once its initialisation, and with it the relabelling, has run.
                return box && ::IsWindowVisible(box);
            });
            if (shown) {
                seen = readBox(box);
                if (HWND button = ::GetDlgItem(box, press)) {
                    seen.pressed = ::PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
                    if (qa_test::waitFor([&] { return !::IsWindow(box); }, 5000))
                        return;
                }
            }
            // Not the box expected: end it all the same, within the bound.
            qa_test::waitFor([&] {
                pressAnyButtonOfDialogsOf(self);
                bool open = false;
                forEachWindowOfThread(self, [&](HWND w) { open |= className(w) == L"#32770"; });
                return !open;
            });
        });
        const int result = LocalizedMessageBox(0, shown::exitText, qa_test::u16(caption), style);
        helper.join();
        return result;
    }
};

TEST_F(LocalizedBox, YesNoRequestShowsYesAndNoAndAnswersYesOrNo) {
    const HICON question = ::LoadIconW(nullptr, IDI_QUESTION);
    const struct {
        int press;
        int expected;
    } cases[] = {{IDOK, IDYES}, {IDCANCEL, IDNO}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.press == IDOK ? "first button" : "second button");
        Seen seen;
        // MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL: the exit confirmation's style.
        const int result = show(0x2024, c.press, seen);
        ASSERT_TRUE(seen.found) << "the box never appeared";
        EXPECT_TRUE(seen.pressed) << "the box has no button " << c.press;
        EXPECT_EQ(result, c.expected);
        // Exactly two buttons, from strings 159 and 160 on the box's OK and Cancel.
        EXPECT_EQ(seen.buttons.size(), 2u);
        EXPECT_EQ(seen.okText, shown::wide::yes);
        EXPECT_EQ(seen.cancelText, shown::wide::no);
        EXPECT_EQ(qa_test::u16(seen.okText), fw::loadString(IDS_BUTTON_YES));
        EXPECT_EQ(qa_test::u16(seen.cancelText), fw::loadString(IDS_BUTTON_NO));
        EXPECT_TRUE(seen.exStyle & WS_EX_APPWINDOW) << "no taskbar button";
        // Only the button bits change: the question icon stays.
        EXPECT_EQ(seen.icon, question);
    }
}

TEST_F(LocalizedBox, OkCancelRequestShowsOkAndCancelAndAnswersOkOrCancel) {
    const HICON warning = ::LoadIconW(nullptr, IDI_WARNING);
    const struct {
        int press;
        int expected;
    } cases[] = {{IDOK, IDOK}, {IDCANCEL, IDCANCEL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.press == IDOK ? "first button" : "second button");
        Seen seen;
        const int result = show(MB_OKCANCEL | MB_ICONWARNING | MB_TASKMODAL, c.press, seen);
        ASSERT_TRUE(seen.found) << "the box never appeared";
        EXPECT_TRUE(seen.pressed);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(seen.buttons.size(), 2u);
        EXPECT_EQ(seen.okText, shown::wide::ok);
        EXPECT_EQ(seen.cancelText, shown::wide::cancel);
        EXPECT_EQ(qa_test::u16(seen.okText), fw::loadString(IDS_BUTTON_OK));
        EXPECT_EQ(qa_test::u16(seen.cancelText), fw::loadString(IDS_BUTTON_CANCEL));
        EXPECT_TRUE(seen.exStyle & WS_EX_APPWINDOW) << "no taskbar button";
        EXPECT_EQ(seen.icon, warning);
    }
}

TEST_F(LocalizedBox, OkOnlyRequestShowsOneOkButton) {
    Seen seen;
    // The style of the program's notices and errors, without their icon.
    const int result = show(MB_OK | MB_TASKMODAL, IDOK, seen);
    ASSERT_TRUE(seen.found) << "the box never appeared";
    EXPECT_TRUE(seen.pressed);
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(seen.buttons.size(), 1u);
    EXPECT_EQ(seen.buttons.front(), shown::wide::ok);
    EXPECT_EQ(seen.okText, shown::wide::ok);
    EXPECT_FALSE(seen.hasCancel) << "a Cancel button appeared on an OK box";
    EXPECT_TRUE(seen.exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(seen.icon, nullptr);
}

// ---------------------------------------------------------------- tray icon

// True when the shell holds an icon of `owner` with the controller's id: a change that
// alters nothing succeeds only for an icon that exists.
bool trayIconShown(HWND owner) {
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = owner;
    record.uID = 114;
    record.uFlags = 0;
    return ::Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

// A transmitter that is always present, with a link and a forwarder that look at the
// shell at the moments the controller calls them, on the controller's own thread.
struct TrayProbe : Collaborators {
    CKTRSystemTrayApplicationDlg* controller = nullptr;
    // -1 until looked at, then 1 or 0.
    std::atomic<int> shownAfterStart{-1};
    std::atomic<int> shownAtHostExit{-1};
    std::atomic<int> shownWhenForwarderGoes{-1};
    std::atomic<bool> started{false};
    plat::NotifyIconData recordAtStart;

    int shownNow() const {
        return trayIconShown(plat::win32::toHwnd(controller->window())) ? 1 : 0;
    }

    struct Finder : TransmitterFinder {
        int findDongle() override { return 1; }
        plat::Handle getVendorHandle() override { return 0x51; }
        plat::Handle getConsumerHandle() override { return 0x52; }
    };
    struct Link : VendorLink {
        TrayProbe& probe;
        explicit Link(TrayProbe& p) : probe(p) {}
        void sendHostExit() override { probe.shownAtHostExit = probe.shownNow(); }
        void processNewDevices() override {}
        void stopReader() override {}
        void releaseReaderThread() override {}
    };
    struct Forwarder : KeyForwarder {
        TrayProbe& probe;
        explicit Forwarder(TrayProbe& p) : probe(p) {}
        ~Forwarder() override { probe.shownWhenForwarderGoes = probe.shownNow(); }
    };

    std::unique_ptr<TransmitterFinder> makeTransmitterFinder() override {
        return std::make_unique<Finder>();
    }
    // Made right after the icon is added at start-up.
    std::unique_ptr<VendorLink> makeVendorLink(plat::Handle) override {
        {
            Globals& g = globals();
            std::lock_guard<std::recursive_mutex> lock(g.trayIconLock);
            recordAtStart = g.trayIconData;
        }
        shownAfterStart = shownNow();
        return std::make_unique<Link>(*this);
    }
    // Deleted at shutdown right after the icon is removed.
    std::unique_ptr<KeyForwarder> makeKeyForwarder(plat::Handle) override {
        started = true;
        return std::make_unique<Forwarder>(*this);
    }
    std::unique_ptr<TrayMenu> makeTrayMenu() override { return nullptr; }
    void rerouteOnDeviceChange() override {}
    void offerRestartOnDeviceChange() override {}
};

// The controller, run modally in this process with a transmitter present, adds its icon to
// the shell at start-up and removes it when it is closed, with its own record.
class ControllerTrayIcon : public WithProgramResources {};

TEST_F(ControllerTrayIcon, IsAddedAtStartAndRemovedAtShutdown) {
    Globals& g = globals();
    ASSERT_EQ(g.transmitterPresent.load(), 0);
    // The icon is shown only when the user's preference (absent: shown) says so.
    ASSERT_EQ(g.pcInfo->getTrayIconState(), 1) << "the tray icon preference is off in this prefix";

    TrayProbe probe;
    auto controller = std::make_unique<CKTRSystemTrayApplicationDlg>(0, &probe);
    probe.controller = controller.get();

    const DWORD self = ::GetCurrentThreadId();
    std::atomic<HWND> window{nullptr};
    std::thread helper([&] {
        const bool ready = qa_test::waitFor([&] {
            forEachWindowOfThread(self, [&](HWND w) {
                if (qa_test::windowText(w) == kControllerTitle)
                    window = w;
            });
            return window.load() != nullptr && probe.started.load();
        });
        // Closed as another process would close it; and closed all the same when it never
        // got ready, so that the modal run below ends within the bound.
        if (ready)
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        else
            forEachWindowOfThread(self, [](HWND w) { ::PostMessageW(w, WM_CLOSE, 0, 0); });
    });
    const std::intptr_t result = controller->doModal();
    helper.join();

    const HWND shownBy = window.load();
    ASSERT_NE(shownBy, nullptr) << "the controller never appeared";
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(probe.shownAfterStart.load(), 1) << "no icon after start-up";
    EXPECT_EQ(probe.shownAtHostExit.load(), 1) << "the icon went before the transmitter was told";
    EXPECT_EQ(probe.shownWhenForwarderGoes.load(), 0) << "the icon was not removed at shutdown";
    // The record the shell was given: the controller's window, id 114, message, icon, tip.
    EXPECT_EQ(probe.recordAtStart.window, plat::win32::fromHwnd(shownBy));
    EXPECT_EQ(probe.recordAtStart.id, 114u);
    EXPECT_EQ(probe.recordAtStart.flags, std::uint32_t(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(probe.recordAtStart.callbackMessage, 0x0401u);
    EXPECT_NE(probe.recordAtStart.icon, 0u);
    // Drawn at the notification area's size, not LoadIcon's large image.
    EXPECT_EQ(qa_test::iconWidth(plat::win32::toIcon(probe.recordAtStart.icon)),
              ::GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(probe.recordAtStart.tip, plat::String(u"Quorvane Auravo\u2122"));
    EXPECT_FALSE(::IsWindow(shownBy));
    EXPECT_FALSE(trayIconShown(shownBy)) << "an icon was left behind";

    // The run's process-wide state as the next test expects it; the program itself leaves
    // the link to the end of the process.
    delete std::exchange(g.vendorLink, nullptr);
    delete std::exchange(g.keyForwarder, nullptr);
    g.transmitterPresent = 0;
}

// ---------------------------------------------------------------- never shown

// What the controller went through, sampled after every message it received from its
// creation on (a hook on this thread sees each one as its window procedure returns).
struct ControllerSightings {
    HWND window = nullptr;
    std::atomic<bool> showAttempted{false}; // the modal loop asked for it to be shown
    bool everVisible = false;
    bool everActive = false;
    bool everForeground = false;
    int messages = 0;
};
thread_local ControllerSightings* sightings = nullptr;

LRESULT CALLBACK watchController(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && sightings) {
        const auto& sent = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        ControllerSightings& seen = *sightings;
        // The first dialog of this thread is the controller.
        if (!seen.window && className(sent.hwnd) == L"#32770" && !::GetParent(sent.hwnd))
            seen.window = sent.hwnd;
        if (sent.hwnd == seen.window) {
            ++seen.messages;
            if (sent.message == WM_SHOWWINDOW && sent.wParam)
                seen.showAttempted = true;
            if (sent.message == WM_WINDOWPOSCHANGED &&
                (reinterpret_cast<const WINDOWPOS*>(sent.lParam)->flags & SWP_SHOWWINDOW))
                seen.everVisible = true;
            if ((sent.message == WM_ACTIVATE && LOWORD(sent.wParam) != WA_INACTIVE) ||
                (sent.message == WM_NCACTIVATE && sent.wParam))
                seen.everActive = true;
            seen.everVisible |= ::IsWindowVisible(sent.hwnd) != FALSE;
            seen.everForeground |= ::GetForegroundWindow() == sent.hwnd;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class HiddenController : public WithProgramResources {};

// The modal loop shows its dialog at its first idle moment; the controller declines. It is
// never visible, never active, never the foreground window, from its creation to its end.
TEST_F(HiddenController, IsNeverShownActivatedOrBroughtToTheForeground) {
    ControllerSightings seen;
    sightings = &seen;
    HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROCRET, watchController, nullptr,
                                     ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);

    TrayProbe probe; // with a transmitter present: the tray icon is added too
    auto controller = std::make_unique<CKTRSystemTrayApplicationDlg>(0, &probe);
    probe.controller = controller.get();
    const DWORD self = ::GetCurrentThreadId();
    std::thread helper([&] {
        // Closed once the loop has tried to show it (and so has done it, or not, for good).
        qa_test::waitFor([&] { return seen.showAttempted.load(); });
        forEachWindowOfThread(self, [](HWND w) {
            if (qa_test::windowText(w) == kControllerTitle)
                ::PostMessageW(w, WM_CLOSE, 0, 0);
        });
    });
    controller->doModal();
    helper.join();
    ::UnhookWindowsHookEx(hook);
    sightings = nullptr;

    ASSERT_NE(seen.window, nullptr);
    EXPECT_GT(seen.messages, 5);
    EXPECT_TRUE(seen.showAttempted.load()) << "the loop never tried to show it: nothing was tested";
    EXPECT_FALSE(seen.everVisible) << "the controller was visible";
    EXPECT_FALSE(seen.everActive) << "the controller was activated";
    EXPECT_FALSE(seen.everForeground) << "the controller took the foreground";

    Globals& g = globals();
    delete std::exchange(g.vendorLink, nullptr);
    delete std::exchange(g.keyForwarder, nullptr);
    g.transmitterPresent = 0;
}

// ---------------------------------------------------------------- end of the session

std::wstring programPath() {
    return qa_test::testDirectory() + L"QuorvaneAuravo.exe";
}

DWORD ownerProcess(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

bool anyVisibleWindowOf(DWORD pid) {
    struct Search {
        DWORD pid;
        bool found;
    } search{pid, false};
    ::EnumWindows(
        [](HWND w, LPARAM p) CALLBACK -> BOOL {
            auto& s = *reinterpret_cast<Search*>(p);
            if (ownerProcess(w) == s.pid && ::IsWindowVisible(w))
                s.found = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A program told to end is gone well within this; one that is still there after it was
// not told to end.
constexpr DWORD kRunsOnMs = 1500;

class SessionEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy left over by an earlier, failed run would answer instead of ours.
        if (HWND stale = ::FindWindowW(nullptr, kControllerTitle)) {
            ::PostMessageW(stale, WM_CLOSE, 0, 0);
            ASSERT_TRUE(qa_test::waitFor(
                [] { return ::FindWindowW(nullptr, kControllerTitle) == nullptr; }));
        }
        const std::wstring path = programPath();
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, qa_test::testDirectory().c_str(), &startup, &info))
            << "cannot start " << ::GetLastError();
        ::CloseHandle(info.hThread);
        process_.reset(info.hProcess);
        pid_ = info.dwProcessId;
        ASSERT_TRUE(qa_test::waitFor([&] {
            return (window_ = ::FindWindowW(nullptr, kControllerTitle)) != nullptr;
        })) << "the controller window never appeared";
        ASSERT_EQ(ownerProcess(window_), pid_);
        ASSERT_EQ(::WaitForInputIdle(process_.get(), qa_test::kWaitMs), 0u);
    }
    void TearDown() override {
        if (process_ && !ended(0)) {
            ::PostMessageW(window_, WM_CLOSE, 0, 0);
            if (!ended(qa_test::kWaitMs)) {
                ::TerminateProcess(process_.get(), 99);
                ended(qa_test::kWaitMs);
            }
        }
    }

    bool ended(DWORD timeoutMs) const {
        return ::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
    }

    // Sent, bounded: false when the controller did not answer in time.
    bool send(UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR& answer) const {
        return ::SendMessageTimeoutW(window_, msg, wParam, lParam, SMTO_NORMAL, 5000, &answer) != 0;
    }

    // Still running as before: the same hidden controller, nothing shown, and it answers.
    void expectRunningOn() const {
        EXPECT_FALSE(ended(kRunsOnMs)) << "the program ended";
        EXPECT_EQ(::FindWindowW(nullptr, kControllerTitle), window_);
        EXPECT_FALSE(::IsWindowVisible(window_));
        EXPECT_FALSE(anyVisibleWindowOf(pid_)) << "the program showed a window";
        DWORD_PTR ignored = 0;
        EXPECT_TRUE(send(WM_NULL, 0, 0, ignored)) << "the controller stopped answering";
    }

    UniqueHandle process_;
    DWORD pid_ = 0;
    HWND window_ = nullptr;
};

TEST_F(SessionEnd, QueryIsAnsweredYesAndTheProgramRunsOn) {
    DWORD_PTR answer = 0;
    ASSERT_TRUE(send(WM_QUERYENDSESSION, 0, 0, answer)) << "no answer";
    EXPECT_EQ(answer, DWORD_PTR(TRUE));
    expectRunningOn();
    // Asked again, it answers the same.
    answer = 0;
    ASSERT_TRUE(send(WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, answer));
    EXPECT_EQ(answer, DWORD_PTR(TRUE));
    expectRunningOn();
}

TEST_F(SessionEnd, CancelledEndChangesNothing) {
    DWORD_PTR answer = 1;
    ASSERT_TRUE(send(WM_ENDSESSION, FALSE, 0, answer)) << "no answer";
    EXPECT_EQ(answer, 0u);
    expectRunningOn();
    // And it still takes part in the next attempt.
    answer = 0;
    ASSERT_TRUE(send(WM_QUERYENDSESSION, 0, 0, answer));
    EXPECT_EQ(answer, DWORD_PTR(TRUE));
}

TEST_F(SessionEnd, ConfirmedEndEndsTheProgram) {
    DWORD_PTR answer = 1;
    ASSERT_TRUE(send(WM_ENDSESSION, TRUE, 0, answer)) << "no answer";
    EXPECT_EQ(answer, 0u);
    ASSERT_TRUE(ended(qa_test::kWaitMs)) << "the program kept running";
    DWORD exitCode = 1;
    ASSERT_TRUE(::GetExitCodeProcess(process_.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(::FindWindowW(nullptr, kControllerTitle), nullptr);
}

} // namespace
