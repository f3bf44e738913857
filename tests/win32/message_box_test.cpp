// Message boxes through the user-interface port, answered by a helper thread that finds
// the box by its caption, reads its buttons and presses one, as a user would.
#include <windows.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

using plat::String;

class RelabellingHook : public plat::MessageBoxHook {
public:
    void onInit(plat::Hwnd box) override {
        plat::Desktop& desktop = plat::desktop();
        ++calls;
        window = box;
        // The box's own initialisation has put its caption on the window by now.
        captionAtInit = desktop.getWindowText(box);
        desktop.setWindowText(desktop.getDlgItem(box, IDOK), shown::yes);
        desktop.setWindowText(desktop.getDlgItem(box, IDCANCEL), shown::no);
        desktop.setExStyle(box, desktop.getExStyle(box) | WS_EX_APPWINDOW);
    }
    int calls = 0;
    plat::Hwnd window = 0;
    String captionAtInit;
};

// What the helper saw on the box before pressing its button.
struct Seen {
    HWND box = nullptr;
    std::wstring okText;
    std::wstring cancelText;
    LONG_PTR exStyle = 0;
};

// Finds the box titled `caption` once it is on screen, reads it and presses `button`.
std::thread answerBox(const std::wstring& caption, int button, Seen& seen) {
    return std::thread([caption, button, &seen] {
        HWND box = nullptr;
        if (!qa_test::waitFor(
                [&] { return (box = ::FindWindowW(L"#32770", caption.c_str())) != nullptr; }))
            return;
        // Shown only after its initialisation (and the hook) has run.
        qa_test::waitFor([&] { return ::IsWindowVisible(box) != FALSE; });
        seen.box = box;
        seen.okText = qa_test::windowText(::GetDlgItem(box, IDOK));
        seen.cancelText = qa_test::windowText(::GetDlgItem(box, IDCANCEL));
        seen.exStyle = ::GetWindowLongPtrW(box, GWL_EXSTYLE);
        ::PostMessageW(::GetDlgItem(box, button), BM_CLICK, 0, 0);
    });
}

TEST(MessageBoxPort, HookRelabelsButtonsAfterTheDefaultInitialisation) {
    const std::wstring caption = qa_test::uniqueName(L"QA hooked box");
    RelabellingHook hook;
    Seen seen;
    std::thread helper = answerBox(caption, IDCANCEL, seen);
    const int pressed = plat::ui().messageBox(0, shown::exitText, qa_test::u16(caption),
                                              MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL, &hook);
    helper.join();

    ASSERT_NE(seen.box, nullptr) << "the box never appeared";
    EXPECT_EQ(pressed, IDCANCEL);
    EXPECT_EQ(hook.calls, 1);
    EXPECT_EQ(hook.window, plat::win32::fromHwnd(seen.box));
    // The hook ran after the box's own initialisation, and nothing of that undid its texts.
    EXPECT_EQ(hook.captionAtInit, qa_test::u16(caption));
    EXPECT_EQ(seen.okText, shown::wide::yes);
    EXPECT_EQ(seen.cancelText, shown::wide::no);
    EXPECT_TRUE(seen.exStyle & WS_EX_APPWINDOW);
}

TEST(MessageBoxPort, HookEndsWithItsBox) {
    const std::wstring hooked = qa_test::uniqueName(L"QA first box");
    RelabellingHook hook;
    Seen first;
    std::thread helper = answerBox(hooked, IDOK, first);
    EXPECT_EQ(plat::ui().messageBox(0, u"first", qa_test::u16(hooked), MB_OKCANCEL, &hook), IDOK);
    helper.join();
    ASSERT_NE(first.box, nullptr);
    EXPECT_EQ(first.okText, shown::wide::yes);

    // The next box, without a hook, keeps the standard texts: nothing of the first call
    // still watches window creation on this thread.
    const std::wstring plain = qa_test::uniqueName(L"QA second box");
    Seen second;
    helper = answerBox(plain, IDOK, second);
    EXPECT_EQ(plat::ui().messageBox(0, u"second", qa_test::u16(plain), MB_OKCANCEL, nullptr), IDOK);
    helper.join();
    ASSERT_NE(second.box, nullptr);
    EXPECT_EQ(second.okText, shown::wide::ok);
    EXPECT_EQ(second.cancelText, shown::wide::cancel);
    EXPECT_FALSE(second.exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(hook.calls, 1);
}

} // namespace
