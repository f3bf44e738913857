// Property sheets on the simulated PC run their pages as PropertySheetW does: pages made
// when first shown, told of every change through WM_NOTIFY, and able to refuse it.
#include "sim_pc.h"
#include "sim_res_builder.h"

#include <gtest/gtest.h>

#include <mutex>

namespace {

using sim::ModalContext;
using sim::ModalKind;

// NMHDR followed by PSHNOTIFY's lParam, as WM_NOTIFY delivers them.
struct Notify {
    std::uintptr_t hwndFrom;
    std::uintptr_t idFrom;
    std::uint32_t code;
    plat::LParam lParam;
};
constexpr std::uint32_t kWmNotify = 0x004E;
constexpr std::uint32_t kSetActive = 0u - 200u;
constexpr std::uint32_t kKillActive = 0u - 201u;
constexpr std::uint32_t kApply = 0u - 202u;
constexpr std::uint32_t kReset = 0u - 203u;
constexpr std::uint32_t kQueryCancel = 0u - 209u;
constexpr std::uint32_t kPsmChanged = WM_USER + 104;
constexpr int kApplyButton = 0x3021;
constexpr int kTabs = 0x3020;

struct Event {
    int who; // -1 the sheet, else the page index
    std::uint32_t what;
    plat::LParam detail;
    bool operator==(const Event&) const = default;
};

class Log {
public:
    void add(Event e) {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(e);
    }
    std::vector<Event> take() {
        std::lock_guard<std::mutex> guard(lock_);
        return std::exchange(events_, {});
    }

private:
    std::mutex lock_;
    std::vector<Event> events_;
};

class Page : public plat::DialogTarget {
public:
    Page(int index, Log& log) : index_(index), log_(log) {}
    bool refuseToLeave = false;
    bool refuseToCancel = false;
    plat::Hwnd hwnd = 0;

    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam, plat::LParam lParam,
                       plat::LResult& result) override {
        if (msg == WM_INITDIALOG) {
            hwnd = window;
            log_.add({index_, msg, 0});
            return true;
        }
        if (msg != kWmNotify)
            return false;
        const auto& n = *reinterpret_cast<const Notify*>(lParam);
        log_.add({index_, n.code, n.lParam});
        result =
            (n.code == kKillActive && refuseToLeave) || (n.code == kQueryCancel && refuseToCancel);
        return true;
    }

private:
    int index_;
    Log& log_;
};

class Sheet : public plat::DialogTarget {
public:
    explicit Sheet(Log& log) : log_(log) {}
    bool dialogMessage(plat::Hwnd, std::uint32_t msg, plat::WParam wParam, plat::LParam,
                       plat::LResult&) override {
        if (msg == WM_INITDIALOG || msg == WM_USER)
            log_.add({-1, msg, static_cast<plat::LParam>(wParam)});
        return msg == WM_USER;
    }

private:
    Log& log_;
};

class SimSheet : public testing::Test {
protected:
    sim::SimPc pc;
    Log log;
    Page devices{0, log};
    Page players{1, log};
    Sheet sheet{log};

    void SetUp() override {
        pc.install();
        using simtest::Control;
        const std::uint32_t page = 0x40000000 | 0x00C00000; // WS_CHILD | WS_CAPTION
        const std::uint32_t vis = 0x40000000 | WS_VISIBLE;
        simtest::ResFile res;
        res.add(
            5, 102,
            simtest::dialogTemplate(true, page, 0, u"Devices", {Control{0x83, 1001, u"", vis}}));
        res.add(5, 103,
                simtest::dialogTemplate(true, page, 0, u"Media Players",
                                        {Control{0x80, 1010, u"Edit...", vis}}));
        ASSERT_TRUE(pc.setResourceBlob(res.bytes()));
    }
    void TearDown() override { pc.endProcess(); }

    void start() {
        pc.startProgram([this] {
            plat::PropertySheetSpec request;
            request.caption = u"Quorvane Auravo Settings";
            request.sheet = &sheet;
            const plat::Module m = plat::resources().programModule();
            request.pages = {{m, 102, &devices}, {m, 103, &players}};
            return static_cast<int>(plat::ui().propertySheet(request));
        });
    }

    void holdSheet() {
        sim::ScriptEntry e;
        e.kind = ModalKind::PropertySheet;
        e.caption = u"Quorvane Auravo Settings";
        e.hold = true;
        pc.script(e);
    }
};

TEST_F(SimSheet, PagesAreMadeWhenShownAndOkAppliesEveryPageMade) {
    holdSheet();
    start();
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_EQ(log.take(), (std::vector<Event>{
                              {-1, WM_INITDIALOG, 0}, {0, WM_INITDIALOG, 0}, {0, kSetActive, 0}}));

    const auto open = pc.openModals();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].kind, ModalKind::PropertySheet);
    EXPECT_EQ(open[0].templateId, 102);
    ASSERT_NE(open[0].control(kTabs), nullptr);
    EXPECT_EQ(open[0].control(kTabs)->items,
              (std::vector<plat::String>{u"Devices", u"Media Players"}));
    EXPECT_NE(open[0].control(1001), nullptr) << "the page shown is part of what the user sees";
    EXPECT_EQ(open[0].control(1010), nullptr);
    EXPECT_FALSE(open[0].control(kApplyButton)->enabled);
    const plat::Hwnd sheetWindow = pc.findWindowByTitle(u"Quorvane Auravo Settings");
    ASSERT_NE(sheetWindow, 0u);
    EXPECT_EQ(plat::ui().activePageIndex(sheetWindow), 0);

    pc.actOnTopModal([](ModalContext& c) { c.selectItemByText(kTabs, u"Media Players"); });
    EXPECT_EQ(plat::ui().activePageIndex(sheetWindow), 1);
    EXPECT_EQ(log.take(),
              (std::vector<Event>{{0, kKillActive, 0}, {1, WM_INITDIALOG, 0}, {1, kSetActive, 0}}));
    EXPECT_NE(pc.openModals()[0].control(1010), nullptr);

    // Requests reach the sheet's own object (the program posts WM_USER codes to it).
    pc.post(sheetWindow, WM_USER, 1);
    ASSERT_TRUE(pc.waitIdle());
    EXPECT_EQ(log.take(), (std::vector<Event>{{-1, WM_USER, 1}}));

    pc.actOnTopModal([](ModalContext& c) { c.pressButton(u"OK"); });
    EXPECT_EQ(pc.waitForExit(), 1);
    EXPECT_EQ(log.take(),
              (std::vector<Event>{{1, kKillActive, 0}, {0, kApply, TRUE}, {1, kApply, TRUE}}));
    EXPECT_TRUE(pc.failures().empty());
}

TEST_F(SimSheet, APageCanRefuseToBeLeftOrCancelled) {
    holdSheet();
    start();
    ASSERT_TRUE(pc.waitIdle());
    log.take();
    devices.refuseToLeave = true;
    devices.refuseToCancel = true;
    const plat::Hwnd sheetWindow = pc.findWindowByTitle(u"Quorvane Auravo Settings");

    pc.actOnTopModal([](ModalContext& c) {
        c.selectItem(kTabs, 1);
        c.pressEscape();
    });
    EXPECT_EQ(plat::ui().activePageIndex(sheetWindow), 0);
    EXPECT_TRUE(pc.programRunning());
    EXPECT_EQ(log.take(), (std::vector<Event>{{0, kKillActive, 0}, {0, kQueryCancel, 0}}));

    devices.refuseToCancel = false;
    pc.actOnTopModal([](ModalContext& c) { c.pressButton(u"Cancel"); });
    EXPECT_EQ(pc.waitForExit(), 0);
    EXPECT_EQ(log.take(), (std::vector<Event>{{0, kQueryCancel, 0}, {0, kReset, 0}}));
}

TEST_F(SimSheet, ApplyIsOfferedOnceAPageReportsAChange) {
    holdSheet();
    start();
    ASSERT_TRUE(pc.waitIdle());
    log.take();
    const plat::Hwnd sheetWindow = pc.findWindowByTitle(u"Quorvane Auravo Settings");
    plat::desktop().sendMessage(sheetWindow, kPsmChanged, devices.hwnd, 0);
    EXPECT_TRUE(pc.openModals()[0].control(kApplyButton)->enabled);

    pc.actOnTopModal([](ModalContext& c) { c.pressButton(u"Apply"); });
    EXPECT_EQ(log.take(), (std::vector<Event>{{0, kKillActive, 0}, {0, kApply, FALSE}}));
    EXPECT_FALSE(pc.openModals()[0].control(kApplyButton)->enabled);
    EXPECT_TRUE(pc.programRunning()) << "Apply keeps the sheet open";

    pc.post(sheetWindow, WM_CLOSE);
    EXPECT_EQ(pc.waitForExit(), 0);
}

} // namespace
