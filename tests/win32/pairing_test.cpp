// The pairing dialogs from the program's own templates on the real dialog manager: the wait,
// the choosing and the naming dialog. Each runs on the test's thread; a helper thread looks
// at it and acts on it as the user or the reader thread would. No link is published, so the
// dialogs send nothing.
#include <windows.h>
// <windows.h> renames DefWindowProc; the dialog classes' virtual of that name must keep it
// for the subclass below.
#undef DefWindowProc

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "Application.h"
#include "DeviceConnect.h"
#include "Globals.h"
#include "NewDeviceDialog.h"
#include "NewDevicesDialog.h"
#include "resource.h"
#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

constexpr const auto& kNewDevice = shown::wide::newDeviceTitle;
constexpr const auto& kNewDevices = shown::wide::newDevicesTitle;

std::wstring text(HWND window) {
    return qa_test::windowText(window);
}

bool isDefaultButton(HWND button) {
    return (::GetWindowLongW(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
}

std::wstring listItem(HWND list, int index) {
    wchar_t item[128] = {};
    if (::SendMessageW(list, LB_GETTEXTLEN, index, 0) >= 127)
        return {};
    ::SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
    return item;
}

// The wait, telling the test which timer it started.
class ObservedWait final : public DeviceConnect {
public:
    std::atomic<std::uintptr_t> startedTimer{0};

protected:
    void DoDataExchange(bool saveAndValidate) override {
        DeviceConnect::DoDataExchange(saveAndValidate);
        startedTimer = waitTimer;
    }
};

class PairingOnWindows : public ::testing::Test {
protected:
    void SetUp() override { fw::setResourceModule(plat::resources().programModule()); }
    void TearDown() override { fw::setResourceModule(0); }

    qa_test::ProcessObjectsWithoutThreads objects_;
};

TEST_F(PairingOnWindows, TheWaitShowsItsTextsStartsItsTimerAndEndsOnTheReadersWord) {
    ObservedWait wait;
    globals().pairingWaitActive = 1;
    std::wstring caption, instructions, progress, cancel;
    bool cancelIsDefault = false;
    std::uintptr_t timer = 0;
    std::thread helper([&] {
        const HWND window = qa_test::waitForVisibleWindow(kNewDevice);
        if (!window)
            return;
        caption = text(window);
        instructions = text(::GetDlgItem(window, IDC_CONNECT_INSTRUCTIONS));
        progress = text(::GetDlgItem(window, IDC_CONNECT_PROGRESS));
        cancel = text(::GetDlgItem(window, IDC_CONNECT_CANCEL));
        cancelIsDefault = isDefaultButton(::GetDlgItem(window, IDC_CONNECT_CANCEL));
        timer = wait.startedTimer;
        // What the reader thread posts when a listing arrives.
        ::PostMessageW(window, WM_USER, 0, 0);
    });
    const std::intptr_t result = wait.doModal();
    helper.join();
    EXPECT_EQ(caption, kNewDevice);
    EXPECT_EQ(instructions,
              L"To pair a new Auravo device with your computer, press and hold the 'Connect' "
              L"button on the new device for 10 seconds -- until the LEDs begin blinking red and "
              L"blue.");
    EXPECT_EQ(progress,
              L"Once the LEDs are blinking red and blue, pairing will be completed within 3 "
              L"minutes.");
    EXPECT_EQ(cancel, shown::wide::cancel);
    EXPECT_TRUE(cancelIsDefault);
    EXPECT_NE(timer, 0u) << "SetTimer failed";
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(globals().pairingWaitActive, 0);
}

TEST_F(PairingOnWindows, TheWaitsOwnTimerEndsItAsTimedOut) {
    ObservedWait wait;
    globals().pairingWaitActive = 1;
    bool otherTimerIgnored = false;
    std::thread helper([&] {
        const HWND window = qa_test::waitForVisibleWindow(kNewDevice);
        if (!window)
            return;
        // A timer of another id is not the time-out (sent: handled when this returns); the
        // wait's own one is.
        ::SendMessageW(window, WM_TIMER, wait.startedTimer + 7, 0);
        otherTimerIgnored = ::IsWindowVisible(window) != FALSE;
        ::PostMessageW(window, WM_TIMER, wait.startedTimer, 0);
    });
    const std::intptr_t result = wait.doModal();
    helper.join();
    EXPECT_TRUE(otherTimerIgnored);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(globals().pairingWaitActive, 0);
}

TEST_F(PairingOnWindows, WithoutPairingUnderWayTheWaitStartsNoTimerAndEnterCancelsIt) {
    ObservedWait wait;
    globals().pairingWaitActive = 0;
    std::uintptr_t timer = 1;
    bool enterEnded = false;
    std::thread helper([&] {
        const HWND window = qa_test::waitForVisibleWindow(kNewDevice);
        if (!window)
            return;
        timer = wait.startedTimer;
        // Enter goes to the default button, IDC_CONNECT_CANCEL, which gives up waiting.
        ::PostMessageW(::GetDlgItem(window, IDC_CONNECT_CANCEL), WM_KEYDOWN, VK_RETURN, 0);
        enterEnded = qa_test::waitFor([&] { return !::IsWindow(window); }, 5000);
        if (!enterEnded)
            ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    const std::intptr_t result = wait.doModal();
    helper.join();
    EXPECT_EQ(timer, 0u);
    EXPECT_TRUE(enterEnded);
    EXPECT_EQ(result, IDOK);
}

TEST_F(PairingOnWindows, TheChoosingDialogListsTheDevicesSortedAndSelectsTheFirst) {
    NewDevicesDialog choosing;
    choosing.setDevices({{u"Receiver #2", {0, 0x0B, 0x7A, 1, 0, 5}},
                         {u"Attic", {0, 0x0B, 0x7A, 1, 0, 6}},
                         {u"Receiver #1", {0, 0x0B, 0x7A, 1, 0, 4}}});
    std::wstring caption, first, second, next;
    std::vector<std::wstring> items;
    LRESULT selection = -1;
    bool nextIsDefault = false;
    std::thread helper([&] {
        const HWND window = qa_test::waitForVisibleWindow(kNewDevices);
        if (!window)
            return;
        caption = text(window);
        const HWND list = ::GetDlgItem(window, IDC_NEW_DEVICE_LIST);
        const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count && i < 8; ++i)
            items.push_back(listItem(list, i));
        selection = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
        next = text(::GetDlgItem(window, IDC_NEXT));
        nextIsDefault = isDefaultButton(::GetDlgItem(window, IDC_NEXT));
        // The two sentences are the dialog's first two statics.
        HWND child = ::GetWindow(window, GW_CHILD);
        first = text(child);
        second = text(::GetWindow(child, GW_HWNDNEXT));
        ::PostMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    });
    const std::intptr_t result = choosing.doModal();
    helper.join();
    EXPECT_EQ(caption, kNewDevices);
    EXPECT_EQ(first, shown::wide::discoveredMany);
    EXPECT_EQ(second, shown::wide::choosePrompt);
    EXPECT_EQ(items,
              (std::vector<std::wstring>{L"Attic", L"Quorvane Wireless Music System Receiver",
                                         L"Quorvane Wireless Music System Receiver (2)"}));
    EXPECT_EQ(selection, 0);
    EXPECT_EQ(next, shown::wide::next);
    EXPECT_TRUE(nextIsDefault);
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(PairingOnWindows, TheNamingDialogRefusesAnEmptyNameWithTheRealMessageBoxAndStaysOpen) {
    NewDeviceDialog naming;
    naming.deviceName = u"Receiver #3";
    std::wstring caption, discovered, prompt, editBefore, pairText, boxCaption, boxText;
    bool pairIsDefault = false, stayedOpen = false;
    std::thread helper([&] {
        const HWND window = qa_test::waitForVisibleWindow(kNewDevice);
        if (!window)
            return;
        caption = text(window);
        discovered = text(::GetDlgItem(window, IDC_NEW_DEVICE_FOUND));
        prompt = text(::GetDlgItem(window, IDC_NEW_DEVICE_PROMPT));
        editBefore = text(::GetDlgItem(window, IDC_NEW_DEVICE_NAME));
        pairText = text(::GetDlgItem(window, IDC_PAIR));
        pairIsDefault = isDefaultButton(::GetDlgItem(window, IDC_PAIR));
        ::SetWindowTextW(::GetDlgItem(window, IDC_NEW_DEVICE_NAME), L" \t ");
        ::PostMessageW(::GetDlgItem(window, IDC_PAIR), BM_CLICK, 0, 0);
        if (const HWND box = qa_test::waitForVisibleWindow(shown::wide::cannotRename)) {
            boxCaption = text(box);
            boxText = text(::GetDlgItem(box, 0xFFFF));
            ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            qa_test::waitFor([&] { return !::IsWindow(box); });
        }
        stayedOpen = ::IsWindow(window) && ::IsWindowVisible(window);
        ::PostMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
    });
    const std::intptr_t result = naming.doModal();
    helper.join();
    EXPECT_EQ(caption, kNewDevice);
    EXPECT_EQ(discovered, shown::wide::discoveredOne);
    EXPECT_EQ(prompt, shown::wide::namePrompt);
    EXPECT_EQ(editBefore, L"Receiver #3");
    EXPECT_EQ(pairText, shown::wide::pair);
    EXPECT_TRUE(pairIsDefault);
    EXPECT_EQ(boxCaption, shown::wide::cannotRename);
    EXPECT_EQ(boxText, shown::wide::nameEmptyText);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(PairingOnWindows, TheNamingDialogAfterChoosingHasNoDiscoveredSentence) {
    NewDeviceDialog naming;
    naming.deviceName = u"Headphones #1";
    naming.secondStep = 1;
    std::wstring discovered = L"?", editBefore;
    std::thread helper([&] {
        const HWND window = qa_test::waitForVisibleWindow(kNewDevice);
        if (!window)
            return;
        discovered = text(::GetDlgItem(window, IDC_NEW_DEVICE_FOUND));
        editBefore = text(::GetDlgItem(window, IDC_NEW_DEVICE_NAME));
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    const std::intptr_t result = naming.doModal();
    helper.join();
    EXPECT_EQ(discovered, L"");
    EXPECT_EQ(editBefore, L"Headphones #1");
    EXPECT_EQ(result, IDCANCEL);
}

} // namespace
