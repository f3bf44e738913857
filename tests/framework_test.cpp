// The dialog framework: message-map dispatch and data exchange.
#include "Application.h"
#include "Dialog.h"
#include "sim_pc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records what reached it. Dispatch is driven directly, as a backend would drive it.
class Recorder : public fw::Dialog {
public:
    Recorder() : fw::Dialog(101) {}

    std::vector<std::string> calls;
    std::vector<bool> exchanges; // saveAndValidate of each DoDataExchange
    plat::Hwnd windowDuringExchange = 0;
    bool passTimerOn = false;

    bool send(std::uint32_t msg, plat::WParam w = 0, plat::LParam l = 0,
              plat::LResult* result = nullptr) {
        plat::LResult r = -1;
        const bool handled = dialogMessage(0x1234, msg, w, l, r);
        if (result)
            *result = r;
        return handled;
    }
    bool command(std::uint32_t id, std::uint32_t code = 0) {
        return send(WM_COMMAND, makeWParam(id, code));
    }

protected:
    void DoDataExchange(bool save) override {
        exchanges.push_back(save);
        windowDuringExchange = window();
    }
    plat::LResult DefWindowProc(std::uint32_t msg, plat::WParam w, plat::LParam l) override {
        calls.push_back("DefWindowProc " + std::to_string(msg));
        if (msg == WM_USER + 7)
            return 77; // handled here, not by the default processing
        return fw::Dialog::DefWindowProc(msg, w, l);
    }
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onCommand<&Recorder::onSettings>(32772),
            fw::onCommandRange<&Recorder::onRadio>(5000, 5099),
            fw::onNotify<&Recorder::onSelChange>(LBN_SELCHANGE, 300),
            fw::onMessage<&Recorder::onTimer>(WM_TIMER),
            fw::onMessage<&Recorder::onUser>(WM_USER + 3),
            fw::onMessage<&Recorder::onNested>(WM_USER + 1),
        };
        static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
        return &map;
    }

    void onSettings() { calls.push_back("settings"); }
    void onRadio(std::uint32_t id) { calls.push_back("radio " + std::to_string(id)); }
    void onSelChange() { calls.push_back("selchange"); }
    void onTimer(plat::WParam id) {
        calls.push_back("timer " + std::to_string(id));
        if (passTimerOn)
            Default();
    }
    plat::LResult onUser(plat::WParam w, plat::LParam l) {
        calls.push_back("user");
        return static_cast<plat::LResult>(w) * 1000 + l;
    }
    // A handler that runs a nested dispatch (a modal loop would), whose message goes on to
    // the default processing; the outer message stays handled.
    void onNested() {
        calls.push_back("nested");
        timerPassedOn = !send(WM_TIMER, 9);
    }

public:
    bool timerPassedOn = false;
};

// One level further down: its own entry wins over the base's for the same command, the
// base's other entries still apply.
class Derived : public Recorder {
protected:
    const fw::MessageMap* messageMap() const override {
        static constexpr fw::MessageMapEntry entries[] = {
            fw::onCommand<&Derived::onRadioFive>(5005),
        };
        static const fw::MessageMap map{Recorder::messageMap(), entries};
        return &map;
    }
    void onRadioFive() { calls.push_back("derived 5005"); }
};

TEST(MessageMapTest, CommandsDispatchByIdRangeAndNotificationCode) {
    Recorder d;
    EXPECT_TRUE(d.command(32772));
    EXPECT_TRUE(d.command(5000));
    EXPECT_TRUE(d.command(5099));
    EXPECT_TRUE(d.command(5042));
    EXPECT_FALSE(d.command(4999));
    EXPECT_FALSE(d.command(5100));
    EXPECT_TRUE(d.command(300, LBN_SELCHANGE));
    EXPECT_FALSE(d.command(300, LBN_DBLCLK));
    EXPECT_FALSE(d.command(300, 0));
    EXPECT_FALSE(d.command(32772, 1)); // an accelerator's code is not a menu command
    EXPECT_EQ(d.calls, (std::vector<std::string>{
                           "settings", "radio 5000", "radio 5099", "radio 5042",
                           "DefWindowProc 273", "DefWindowProc 273", "selchange",
                           "DefWindowProc 273", "DefWindowProc 273", "DefWindowProc 273"}));
}

TEST(MessageMapTest, MessagesReachHandlersWithTheirParametersAndResults) {
    Recorder d;
    plat::LResult result = 0;
    EXPECT_TRUE(d.send(WM_USER + 3, 3, 4, &result));
    EXPECT_EQ(result, 3004);
    EXPECT_TRUE(d.send(WM_TIMER, 1));

    // Unmapped: DefWindowProc decides whether the default processing runs.
    EXPECT_TRUE(d.send(WM_USER + 7, 0, 0, &result));
    EXPECT_EQ(result, 77);
    EXPECT_FALSE(d.send(WM_PAINT));

    // A handler that asks for the default processing as well.
    d.passTimerOn = true;
    EXPECT_FALSE(d.send(WM_TIMER, 2));
    EXPECT_EQ(d.calls, (std::vector<std::string>{"user", "timer 1", "DefWindowProc 1031",
                                                 "DefWindowProc 15", "timer 2"}));
}

TEST(MessageMapTest, NestedDispatchKeepsEachMessagesOwnOutcome) {
    Recorder d;
    d.passTimerOn = true;
    EXPECT_TRUE(d.send(WM_USER + 1));
    EXPECT_TRUE(d.timerPassedOn);
    EXPECT_EQ(d.calls, (std::vector<std::string>{"nested", "timer 9"}));
}

TEST(MessageMapTest, DerivedTableComesFirstAndChainsToItsBase) {
    Derived d;
    EXPECT_TRUE(d.command(5005));
    EXPECT_TRUE(d.command(5006));
    EXPECT_TRUE(d.command(32772));
    EXPECT_EQ(d.calls, (std::vector<std::string>{"derived 5005", "radio 5006", "settings"}));
}

TEST(DataExchangeTest, InitialisationAttachesTheWindowThenFillsTheControls) {
    Recorder d;
    EXPECT_EQ(d.window(), 0u);
    plat::LResult result = 0;
    EXPECT_TRUE(d.send(WM_INITDIALOG, 0, 0, &result));
    EXPECT_EQ(result, TRUE);
    EXPECT_EQ(d.exchanges, std::vector<bool>{false});
    EXPECT_EQ(d.windowDuringExchange, 0x1234u);
    EXPECT_EQ(d.window(), 0x1234u);
}

// On the simulated PC: OK reads the controls back and ends the modal run; Cancel only ends it.
class ModalDialog : public fw::Dialog {
public:
    explicit ModalDialog(std::u16string title) : fw::Dialog(101), title(std::move(title)) {}
    std::u16string title;
    std::vector<bool> exchanges;

protected:
    void DoDataExchange(bool save) override {
        exchanges.push_back(save);
        plat::desktop().setWindowText(window(), title);
    }
};

class ModalTest : public testing::Test {
protected:
    sim::SimPc pc;
    void SetUp() override {
        pc.install();
        fw::setResourceModule(0);
    }

    // Runs the dialog on the program's thread, presses `button` and returns what doModal
    // gave back and the exchanges seen.
    std::pair<std::intptr_t, std::vector<bool>> runAndPress(std::uint32_t button) {
        const std::u16string title = u"framework test dialog";
        std::vector<bool> exchanges;
        pc.startProgram([&] {
            ModalDialog dialog(title);
            const std::intptr_t r = dialog.doModal();
            exchanges = dialog.exchanges;
            return static_cast<int>(r);
        });
        EXPECT_TRUE(pc.waitIdle());
        const plat::Hwnd window = pc.findWindowByTitle(title);
        EXPECT_NE(window, 0u) << pc.screen();
        pc.post(window, WM_COMMAND, makeWParam(button, 0));
        const auto result = pc.waitForExit();
        EXPECT_TRUE(result.has_value());
        return {result.value_or(-99), exchanges};
    }
};

TEST_F(ModalTest, OkReadsTheControlsBackAndEndsWithIdOk) {
    const auto [result, exchanges] = runAndPress(IDOK);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(exchanges, (std::vector<bool>{false, true}));
    EXPECT_TRUE(pc.failures().empty());
}

TEST_F(ModalTest, CancelEndsWithoutReadingTheControls) {
    const auto [result, exchanges] = runAndPress(IDCANCEL);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(exchanges, std::vector<bool>{false});
}

} // namespace
