// The simulated user interface: dialogs from templates with working controls, message boxes
// with the creation hook, popup menus, the tray icon, and the scripted user who answers
// every modal (or fails the test at once, without hanging, when nobody expected it).
#include "sim_pc.h"
#include "sim_res_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

namespace {

using sim::ModalContext;
using sim::ModalKind;

constexpr std::uint32_t kChild = 0x40000000;
constexpr std::uint32_t kPopupCaption = 0x80000000 | 0x00C00000 | 0x00080000;

// Records what the dialog receives; `handler` decides what it handles.
class Target : public plat::DialogTarget {
public:
    std::function<bool(plat::Hwnd, std::uint32_t, plat::WParam, plat::LParam, plat::LResult&)>
        handler;
    std::vector<std::pair<std::uint32_t, plat::WParam>> seen;
    plat::Hwnd hwnd = 0;
    std::thread::id thread;

    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult& result) override {
        seen.emplace_back(msg, wParam);
        if (msg == WM_INITDIALOG) {
            hwnd = window;
            thread = std::this_thread::get_id();
        }
        return handler ? handler(window, msg, wParam, lParam, result) : false;
    }

    bool saw(std::uint32_t msg, plat::WParam wParam) const {
        return std::find(seen.begin(), seen.end(), std::make_pair(msg, wParam)) != seen.end();
    }
};

// Ends the dialog with the id of any command.
bool endOnCommand(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam, plat::LParam,
                  plat::LResult&) {
    if (msg != WM_COMMAND)
        return false;
    plat::ui().endDialog(window, loWord(wParam));
    return true;
}

class SimUi : public testing::Test {
protected:
    sim::SimPc pc;
    std::mutex lock;
    std::vector<std::string> reported;

    void SetUp() override {
        pc.install();
        pc.setFailureHandler([this](const std::string& m) {
            std::lock_guard<std::mutex> guard(lock);
            reported.push_back(m);
        });
    }
    void TearDown() override { pc.endProcess(); }

    std::vector<std::string> failures() {
        std::lock_guard<std::mutex> guard(lock);
        return reported;
    }

    void runDialog(int templateId, Target& target) {
        pc.startProgram([templateId, &target] {
            return static_cast<int>(
                plat::ui().dialogBox(plat::resources().programModule(), templateId, 0, &target));
        });
    }

    bool journalHas(const std::string& line) {
        const auto j = pc.journal();
        return std::find(j.begin(), j.end(), line) != j.end();
    }

    // Dialog 200 (DIALOGEX, visible, with controls) and 201 (plain DIALOG with one button).
    void useTestDialogs() {
        using simtest::Control;
        const std::uint32_t vis = kChild | WS_VISIBLE;
        const auto dialog200 = simtest::dialogTemplate(
            true, kPopupCaption | WS_VISIBLE, WS_EX_APPWINDOW, u"Test Dialog",
            {Control{0x82, -1, u"Name:", vis}, Control{0x81, 1001, u"", vis | 0x00010000},
             Control{0x83, 1002, u"", vis | 0x3 /* LBS_SORT | LBS_NOTIFY */},
             Control{0x85, 1003, u"", vis | 0x3},
             Control{0x80, 1004, u"Show icon", vis | 0x3 /* BS_AUTOCHECKBOX */},
             Control{0x80, 1005, u"&Pair", vis | 0x1 /* BS_DEFPUSHBUTTON */},
             Control{0x80, 2, u"Cancel", vis}, Control{0x80, 1006, u"Hidden", kChild}});
        const auto dialog201 = simtest::dialogTemplate(false, kPopupCaption | WS_VISIBLE, 0,
                                                       u"Plain", {Control{0x80, 1, u"OK", vis}});
        simtest::ResFile res;
        res.add(5, 200, dialog200).add(5, 201, dialog201);
        ASSERT_TRUE(pc.setResourceBlob(res.bytes()));
    }
};

TEST_F(SimUi, TheControllerTemplateMakesAHiddenDialogThatNeedsNoScript) {
    Target target;
    target.handler = endOnCommand;
    runDialog(101, target);
    ASSERT_TRUE(pc.waitIdle());

    const plat::Hwnd window = pc.findWindowByTitle(u"Controller");
    ASSERT_NE(window, 0u) << pc.screen();
    EXPECT_EQ(window, target.hwnd);
    ASSERT_FALSE(target.seen.empty());
    EXPECT_EQ(target.seen.front().first, WM_INITDIALOG);
    EXPECT_FALSE(pc.windowVisible(window));
    EXPECT_EQ(pc.windowExStyle(window) & (WS_EX_APPWINDOW | WS_EX_TRANSPARENT),
              WS_EX_APPWINDOW | WS_EX_TRANSPARENT);
    EXPECT_TRUE(pc.modalHistory().empty());

    // The close box becomes the Cancel command when the dialog leaves WM_CLOSE alone.
    pc.post(window, WM_CLOSE);
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDCANCEL));
    EXPECT_TRUE(target.saw(WM_CLOSE, 0));
    EXPECT_EQ(pc.findWindowByTitle(u"Controller"), 0u);
    EXPECT_TRUE(journalHas("window created: #32770/Controller (dialog 101, hidden)"));
    EXPECT_TRUE(failures().empty());
}

TEST_F(SimUi, AMissingTemplateFailsTheDialogBox) {
    Target target;
    runDialog(999, target);
    EXPECT_EQ(pc.waitForExit(), -1);
    EXPECT_TRUE(target.seen.empty());
}

TEST_F(SimUi, ControlsOfATemplateBehaveAsTheirMessagesSay) {
    useTestDialogs();
    struct Read {
        plat::String edit;
        plat::LResult listSelection = -2;
        plat::String listText;
        plat::LResult checked = -2;
    } read;
    Target target;
    target.handler = [&](plat::Hwnd w, std::uint32_t msg, plat::WParam wp, plat::LParam,
                         plat::LResult& r) {
        auto& d = plat::desktop();
        auto send = [&](int id, std::uint32_t m, plat::WParam a, const char16_t* text) {
            return d.sendMessage(d.getDlgItem(w, id), m, a, reinterpret_cast<plat::LParam>(text));
        };
        if (msg == WM_INITDIALOG) {
            for (const char16_t* s : {u"b", u"a", u"C"})
                send(1002, LB_ADDSTRING, 0, s);
            send(1003, CB_ADDSTRING, 0, u"z");
            send(1003, CB_ADDSTRING, 0, u"y");
            send(1003, CB_SETCURSEL, 1, nullptr);
            r = TRUE;
            return true;
        }
        if (msg == WM_COMMAND && loWord(wp) == 1005) {
            read.edit = d.getWindowText(d.getDlgItem(w, 1001));
            read.listSelection = send(1002, LB_GETCURSEL, 0, nullptr);
            char16_t buffer[16] = {};
            send(1002, LB_GETTEXT, static_cast<plat::WParam>(read.listSelection),
                 reinterpret_cast<const char16_t*>(buffer));
            read.listText = buffer;
            read.checked = send(1004, BM_GETCHECK, 0, nullptr);
            plat::ui().endDialog(w, 1005);
            return true;
        }
        return false;
    };
    sim::ScriptEntry entry;
    entry.kind = ModalKind::Dialog;
    entry.templateId = 200;
    entry.act = [](ModalContext& c) {
        c.setText(1001, u"Kitchen");
        c.selectItemByText(1002, u"b");
        c.setChecked(1004, true);
        c.pressEnter();
    };
    pc.script(entry);
    runDialog(200, target);
    EXPECT_EQ(pc.waitForExit(), 1005);

    EXPECT_EQ(read.edit, u"Kitchen");
    EXPECT_EQ(read.listSelection, 1) << "a sorted list box keeps a, b, C in that order";
    EXPECT_EQ(read.listText, u"b");
    EXPECT_EQ(read.checked, 1);
    EXPECT_TRUE(target.saw(WM_COMMAND, makeWParam(1001, 0x0300))) << "EN_CHANGE";
    EXPECT_TRUE(target.saw(WM_COMMAND, makeWParam(1002, LBN_SELCHANGE)));
    EXPECT_TRUE(target.saw(WM_COMMAND, makeWParam(1004, BN_CLICKED)));

    const auto history = pc.modalHistory();
    ASSERT_EQ(history.size(), 1u);
    const sim::ModalView& opened = history[0];
    EXPECT_EQ(opened.kind, ModalKind::Dialog);
    EXPECT_EQ(opened.templateId, 200);
    EXPECT_EQ(opened.caption, u"Test Dialog");
    ASSERT_NE(opened.control(1002), nullptr);
    EXPECT_EQ(opened.control(1002)->items, (std::vector<plat::String>{u"a", u"b", u"C"}));
    EXPECT_EQ(opened.control(1002)->selection, -1);
    ASSERT_NE(opened.control(1003), nullptr);
    EXPECT_EQ(opened.control(1003)->className, u"ComboBox");
    EXPECT_EQ(opened.control(1003)->text, u"y");
    EXPECT_EQ(opened.control(-1)->text, u"Name:");
    EXPECT_FALSE(opened.control(1006)->visible);
    ASSERT_NE(opened.button(u"Pair"), nullptr);
    EXPECT_EQ(opened.button(u"Pair")->id, 1005);
    EXPECT_TRUE(journalHas("typed into 1001: \"Kitchen\""));
    EXPECT_TRUE(failures().empty()) << failures().front();
}

TEST_F(SimUi, EnterEscapeAndTheCloseBoxFollowDefaultDialogProcessing) {
    useTestDialogs();
    for (auto press : {&ModalContext::pressEnter, &ModalContext::pressEscape}) {
        sim::ScriptEntry e;
        e.kind = ModalKind::Dialog;
        e.caption = u"Plain";
        e.act = [press](ModalContext& c) { (c.*press)(); };
        pc.script(e);
    }
    sim::ScriptEntry held;
    held.kind = ModalKind::Dialog;
    held.hold = true;
    pc.script(held);
    Target target;
    target.handler = endOnCommand;
    pc.startProgram([&] {
        const auto module = plat::resources().programModule();
        // Plain DLGTEMPLATE without a default button: Enter means IDOK.
        const auto enter = plat::ui().dialogBox(module, 201, 0, &target);
        const auto escape = plat::ui().dialogBox(module, 201, 0, &target);
        const auto closed = plat::ui().dialogBox(module, 201, 0, &target);
        return static_cast<int>(enter * 100 + escape * 10 + closed);
    });
    ASSERT_TRUE(pc.waitIdle());
    const plat::Hwnd third = pc.findWindowByTitle(u"Plain");
    ASSERT_NE(third, 0u);
    pc.post(third, WM_CLOSE);
    EXPECT_EQ(pc.waitForExit(), 100 * IDOK + 10 * IDCANCEL + IDCANCEL);
    EXPECT_TRUE(failures().empty());
}

class ButtonTexts : public plat::MessageBoxHook {
public:
    void onInit(plat::Hwnd box) override {
        auto& d = plat::desktop();
        d.setWindowText(d.getDlgItem(box, IDOK), u"Yes");
        d.setWindowText(d.getDlgItem(box, IDCANCEL), u"No");
        d.setExStyle(box, d.getExStyle(box) | WS_EX_APPWINDOW);
    }
};

TEST_F(SimUi, AMessageBoxShowsWhatItsHookSetAndReturnsThePressedButton) {
    pc.answerMessageBox(u"Exiting Auravo", u"Are you sure you want to exit?", u"No");
    pc.startProgram([] {
        ButtonTexts hook;
        return plat::ui().messageBox(0, u"Are you sure you want to exit?", u"Exiting Auravo",
                                     MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL, &hook);
    });
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDCANCEL));
    EXPECT_EQ(pc.pendingScriptEntries(), 0u);

    const auto history = pc.modalHistory();
    ASSERT_EQ(history.size(), 1u);
    const sim::ModalView& box = history[0];
    EXPECT_EQ(box.kind, ModalKind::MessageBox);
    EXPECT_EQ(box.text, u"Are you sure you want to exit?");
    EXPECT_EQ(box.style, MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL);
    EXPECT_NE(box.exStyle & WS_EX_APPWINDOW, 0u);
    ASSERT_EQ(box.controls.size(), 2u);
    EXPECT_EQ(box.controls[0].text, u"Yes");
    EXPECT_EQ(box.controls[0].id, static_cast<int>(IDOK));
    EXPECT_EQ(box.controls[1].text, u"No");
    EXPECT_TRUE(journalHas(
        "message box opened: [Exiting Auravo] Are you sure you want to exit? / buttons: Yes, No"));
    EXPECT_TRUE(journalHas("answered: No"));
    EXPECT_TRUE(failures().empty());
}

TEST_F(SimUi, EscapeClosesAMessageBoxOnlyWhenItHasCancelOrJustOk) {
    sim::ScriptEntry yesNo;
    yesNo.kind = ModalKind::MessageBox;
    yesNo.caption = u"Question";
    yesNo.act = [](ModalContext& c) {
        c.pressEscape(); // a Yes/No box cannot be escaped
        c.pressButton(u"Yes");
    };
    pc.script(yesNo);
    sim::ScriptEntry ok;
    ok.kind = ModalKind::MessageBox;
    ok.caption = u"Notice";
    ok.act = [](ModalContext& c) { c.pressEscape(); };
    pc.script(ok);
    pc.startProgram([] {
        const int a = plat::ui().messageBox(0, u"Go on?", u"Question", MB_YESNO, nullptr);
        const int b = plat::ui().messageBox(0, u"Done.", u"Notice", MB_OK, nullptr);
        return a * 10 + b;
    });
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDYES * 10 + IDOK));
    EXPECT_TRUE(failures().empty());
}

TEST_F(SimUi, AModalNobodyExpectedFailsAtOnceShowsTheScreenAndIsDismissed) {
    pc.startProgram([] {
        const int a = plat::ui().messageBox(0, u"Question?", u"Asking", MB_YESNO, nullptr);
        const int b = plat::ui().messageBox(0, u"Sure?", u"Asking", MB_OKCANCEL, nullptr);
        const int c = plat::ui().messageBox(0, u"Note", u"Info", MB_OK, nullptr);
        return a * 100 + b * 10 + c;
    });
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDNO * 100 + IDCANCEL * 10 + IDOK));
    const auto f = failures();
    ASSERT_EQ(f.size(), 3u);
    EXPECT_NE(f[0].find("unexpected message box"), std::string::npos) << f[0];
    EXPECT_NE(f[0].find("Question?"), std::string::npos) << f[0];
    EXPECT_NE(f[0].find("open modals"), std::string::npos)
        << "the screen is part of the report: " << f[0];
    EXPECT_NE(f[0].find("[Asking]"), std::string::npos) << f[0];
}

TEST_F(SimUi, AnUnexpectedDialogIsEndedEvenWhenItIgnoresCancel) {
    useTestDialogs();
    Target stubborn; // handles nothing, so nothing it receives ends it
    runDialog(200, stubborn);
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDCANCEL));
    EXPECT_TRUE(stubborn.saw(WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED)));
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_NE(failures()[0].find("dialog 200 [Test Dialog]"), std::string::npos) << failures()[0];
}

TEST_F(SimUi, TheUserCannotPressWhatIsHiddenAndSaysSo) {
    useTestDialogs();
    sim::ScriptEntry e;
    e.kind = ModalKind::Dialog;
    e.act = [](ModalContext& c) {
        c.pressId(1006);
        c.pressButton(u"Nowhere");
        c.pressButton(u"Cancel");
    };
    pc.script(e);
    Target target;
    target.handler = endOnCommand;
    runDialog(200, target);
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDCANCEL));
    EXPECT_FALSE(target.saw(WM_COMMAND, makeWParam(1006, BN_CLICKED)));
    const auto f = failures();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_NE(f[0].find("1006"), std::string::npos) << f[0];
    EXPECT_NE(f[1].find("Nowhere"), std::string::npos) << f[1];
}

TEST_F(SimUi, AHeldModalWaitsForTheTestOrForTheProgramToCloseIt) {
    for (int i = 0; i < 2; ++i) {
        sim::ScriptEntry e;
        e.kind = ModalKind::MessageBox;
        e.caption = u"Held";
        e.hold = true;
        pc.script(e);
    }
    pc.startProgram([] {
        const int a = plat::ui().messageBox(0, u"Wait here", u"Held", MB_OKCANCEL, nullptr);
        const int b = plat::ui().messageBox(0, u"And here", u"Held", MB_OKCANCEL, nullptr);
        return a * 10 + b;
    });
    ASSERT_TRUE(pc.waitIdle());
    auto open = pc.openModals();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].text, u"Wait here");
    EXPECT_TRUE(pc.programRunning());
    pc.actOnTopModal([](ModalContext& c) { c.pressButton(u"OK"); });

    ASSERT_TRUE(pc.waitIdle());
    open = pc.openModals();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].text, u"And here");
    // What the program does on removal: WM_CLOSE to the window with that title.
    plat::desktop().postMessage(pc.findWindowByTitle(u"Held"), WM_CLOSE, 0, 0);
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDOK * 10 + IDCANCEL));
    EXPECT_TRUE(pc.openModals().empty());
    EXPECT_TRUE(journalHas("posted to Held: WM_CLOSE"));
    EXPECT_TRUE(failures().empty());
}

TEST_F(SimUi, EndingTheProcessEndsAModalThatIsStillOpen) {
    sim::ScriptEntry e;
    e.kind = ModalKind::MessageBox;
    e.hold = true;
    pc.script(e);
    pc.startProgram([] { return plat::ui().messageBox(0, u"Forever", u"Held", MB_OK, nullptr); });
    ASSERT_TRUE(pc.waitIdle());
    pc.endProcess(std::chrono::seconds(10));
    EXPECT_FALSE(pc.programRunning());
    EXPECT_TRUE(failures().empty());
}

TEST_F(SimUi, APopupMenuChoicePostsItsCommandToTheOwner) {
    Target target;
    target.handler = [](plat::Hwnd w, std::uint32_t msg, plat::WParam wp, plat::LParam,
                        plat::LResult& r) {
        auto& ui = plat::ui();
        if (msg == WM_USER) {
            const plat::HMenu popup = ui.createPopupMenu();
            const plat::HMenu sub = ui.createPopupMenu();
            ui.appendMenu(popup, MF_STRING, 32772, u"&Settings");
            ui.appendMenu(sub, MF_STRING, 5000, u"First");
            ui.appendMenu(sub, MF_STRING, 5001, u"Second");
            ui.appendMenu(popup, MF_POPUP, sub, u"Advanced");
            ui.appendMenu(popup, MF_SEPARATOR, 0, u"");
            ui.appendMenu(popup, MF_GRAYED, 32775, u"E&xit");
            ui.checkMenuRadioItem(popup, 5000, 5001, 5000, MF_BYCOMMAND);
            ui.trackPopupMenu(popup, TPM_RIGHTBUTTON, plat::desktop().getCursorPos(), w);
            ui.destroyMenu(popup);
            return true;
        }
        return endOnCommand(w, msg, wp, 0, r);
    };
    sim::ScriptEntry e;
    e.kind = ModalKind::PopupMenu;
    e.act = [](ModalContext& c) {
        c.chooseMenuItem(u"Exit"); // greyed: refused
        c.chooseMenuItem(u"Advanced>Second");
    };
    pc.script(e);
    runDialog(101, target);
    ASSERT_TRUE(pc.waitIdle());
    pc.post(target.hwnd, WM_USER);
    EXPECT_EQ(pc.waitForExit(), 5001);

    const auto history = pc.modalHistory();
    ASSERT_EQ(history.size(), 1u);
    std::vector<std::pair<plat::String, int>> items;
    for (const auto& c : history[0].controls)
        items.emplace_back(c.text, c.checked * 10 + (c.enabled ? 1 : 0));
    EXPECT_EQ(items, (std::vector<std::pair<plat::String, int>>{{u"Settings", 1},
                                                                {u"Advanced", 1},
                                                                {u"Advanced>First", 11},
                                                                {u"Advanced>Second", 1},
                                                                {u"Exit", 0}}));
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_NE(failures()[0].find("disabled"), std::string::npos);
    EXPECT_TRUE(journalHas("chose menu item: Advanced>Second"));
}

TEST_F(SimUi, MessagesSentFromAnotherThreadAreHandledOnTheWindowsThread) {
    std::thread::id programThread;
    Target target;
    target.handler = [](plat::Hwnd w, std::uint32_t msg, plat::WParam wp, plat::LParam,
                        plat::LResult& r) {
        if (msg == WM_USER + 5) {
            r = static_cast<plat::LResult>(wp * 6);
            return true;
        }
        return endOnCommand(w, msg, wp, 0, r);
    };
    pc.startProgram([&] {
        programThread = std::this_thread::get_id();
        return static_cast<int>(
            plat::ui().dialogBox(plat::resources().programModule(), 101, 0, &target));
    });
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_EQ(plat::desktop().sendMessage(target.hwnd, WM_USER + 5, 7, 0), 42);
    EXPECT_EQ(target.thread, programThread);
    ASSERT_FALSE(target.seen.empty());
    EXPECT_EQ(target.seen.back(), std::make_pair(WM_USER + 5, plat::WParam{7}));
    pc.post(target.hwnd, WM_CLOSE);
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDCANCEL));
}

TEST_F(SimUi, OtherProgramsWindowsAreFoundRecordMessagesAndDieWithTheirProcess) {
    auto& d = plat::desktop();
    const plat::Hwnd player = pc.createForeignWindow(u"Winamp v1.x", u"Winamp 5.0", 4242);
    const plat::Hwnd other = pc.createForeignWindow(u"Other", u"Winamp 5.0", 5000);
    const plat::String cls = u"WINAMP V1.X";
    const plat::String title = u"Winamp 5.0";
    EXPECT_EQ(d.findWindow(&cls, nullptr), player);
    EXPECT_EQ(d.findWindow(nullptr, &title), other) << "the topmost of two with the same title";
    const plat::String partial = u"Winamp";
    EXPECT_EQ(d.findWindow(nullptr, &partial), 0u);

    EXPECT_TRUE(d.postMessage(player, WM_CLOSE, 0, 0));
    EXPECT_EQ(d.sendMessage(player, WM_APPCOMMAND, player, 14 << 16), 0);
    const auto got = pc.received(player);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].msg, WM_CLOSE);
    EXPECT_EQ(got[1].lParam, 14 << 16);
    EXPECT_TRUE(journalHas("posted to Winamp 5.0: WM_CLOSE"));

    std::uint32_t pid = 0;
    EXPECT_NE(d.getWindowThreadProcessId(player, &pid), 0u);
    EXPECT_EQ(pid, 4242u);
    auto& p = plat::processes();
    EXPECT_EQ(p.openProcess(PROCESS_ALL_ACCESS, 999), 0u);
    const plat::Handle process = p.openProcess(PROCESS_ALL_ACCESS, 4242);
    ASSERT_NE(process, 0u);
    EXPECT_EQ(plat::threads().waitForSingleObject(process, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(p.terminateProcess(process, 0));
    EXPECT_FALSE(d.isWindow(player));
    EXPECT_TRUE(d.isWindow(other));
    EXPECT_FALSE(pc.processAlive(4242));
    EXPECT_EQ(plat::threads().waitForSingleObject(process, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(p.closeHandle(process));

    // A player that quits when asked to close.
    pc.onForeignMessage(other, [&](const sim::ReceivedMessage& m) {
        if (m.msg == WM_CLOSE)
            pc.destroyWindow(other);
        return plat::LResult{0};
    });
    d.postMessage(other, WM_CLOSE, 0, 0);
    EXPECT_FALSE(d.isWindow(other));
    EXPECT_FALSE(pc.processAlive(5000));
}

TEST_F(SimUi, TheTrayIconDeviceNoticesAndRegisteredMessagesReachTheProgram) {
    plat::String deviceName;
    plat::WParam trayClick = 0;
    bool secondAdd = true;
    Target target;
    target.handler = [&](plat::Hwnd w, std::uint32_t msg, plat::WParam wp, plat::LParam lp,
                         plat::LResult& r) {
        auto& ui = plat::ui();
        plat::NotifyIconData icon;
        icon.window = w;
        icon.id = 114;
        icon.flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        icon.callbackMessage = WM_USER + 1;
        icon.icon = plat::resources().loadIcon(plat::resources().programModule(), 114);
        icon.tip = u"Quorvane Auravo\u2122";
        if (msg == WM_INITDIALOG) {
            ui.shellNotifyIcon(NIM_ADD, icon);
            secondAdd = ui.shellNotifyIcon(NIM_ADD, icon);
            plat::desktop().registerDeviceNotification(w, plat::hid().getHidGuid());
            return true;
        }
        if (msg == WM_USER + 1) {
            trayClick = static_cast<plat::WParam>(lp);
            icon.flags = NIF_ICON;
            icon.icon = plat::resources().loadIcon(plat::resources().programModule(), 115);
            ui.shellNotifyIcon(NIM_MODIFY, icon);
            return true;
        }
        if (msg == WM_DEVICECHANGE && wp == DBT_DEVICEARRIVAL) {
            deviceName = reinterpret_cast<const plat::DeviceChangeInfo*>(lp)->name;
            return true;
        }
        return endOnCommand(w, msg, wp, lp, r);
    };
    runDialog(101, target);
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_FALSE(secondAdd);
    auto icons = pc.trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].iconResourceId, 114);
    EXPECT_EQ(icons[0].tip, u"Quorvane Auravo\u2122");

    ASSERT_TRUE(pc.clickTrayIcon(WM_LBUTTONDOWN, {10, 20}));
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_EQ(trayClick, WM_LBUTTONDOWN);
    EXPECT_EQ(pc.trayIcons()[0].iconResourceId, 115);
    EXPECT_EQ(plat::desktop().getCursorPos(), (plat::Point{10, 20}));

    EXPECT_EQ(pc.deviceNotificationWindows(), std::vector<plat::Hwnd>{target.hwnd});
    pc.sendDeviceChange(DBT_DEVICEARRIVAL, u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_00#1");
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_EQ(deviceName, u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_00#1");

    auto& d = plat::desktop();
    const std::uint32_t created = d.registerWindowMessage(u"TaskbarCreated");
    EXPECT_GE(created, 0xC000u);
    EXPECT_EQ(d.registerWindowMessage(u"taskbarcreated"), created);
    EXPECT_NE(d.registerWindowMessage(u"Another"), created);

    pc.post(target.hwnd, WM_CLOSE);
    EXPECT_EQ(pc.waitForExit(), static_cast<int>(IDCANCEL));
    EXPECT_TRUE(pc.trayIcons().empty()) << "the shell drops an icon whose window is gone";
}

} // namespace
