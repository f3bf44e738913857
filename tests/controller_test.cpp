// The tray controller on the simulated PC, with test doubles for the transmitter finder, the
// vendor link, the key forwarder, the menus, the settings sheet, the About dialog and the
// re-routing. Order matters in much of what it does, so the doubles and the simulated PC's
// journal write into one timeline.
#include "Application.h"
#include "Collaborators.h"
#include "Debug.h"
#include "Globals.h"
#include "ProcessObjects.h"
#include "QuorvaneAuravoSystemTrayApplication.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "shown_texts.h"
#include "sim_pc.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

using sim::ModalKind;

const plat::String controllerTitle = shown::controllerTitle;
const plat::String vendorPath = u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_00&Col01#7&1a2b3c4d&0&0000#{"
                                u"4d1e55b2-f16f-11cf-88cb-001111000030}";
const plat::String consumerPath = u"\\\\?\\HID#Vid_0b7a&Pid_0100&MI_00&Col02#7&1a2b3c4d&0&0001#{"
                                  u"4d1e55b2-f16f-11cf-88cb-001111000030}";
const plat::String mouseKey = u"Control Panel\\Mouse\\";
constexpr plat::Handle vendorHandle = 0x51, consumerHandle = 0x52;

// The journal lines of the simulated PC as they happened, and "* <call>" for every call a
// test double received, in one order.
class Timeline {
public:
    void attach(sim::SimPc* pc) {
        std::lock_guard<std::mutex> lock(m_);
        pullLocked();
        pc_ = pc;
        if (pc)
            lines_.clear();
    }
    void note(const std::string& what) {
        std::lock_guard<std::mutex> lock(m_);
        pullLocked();
        lines_.push_back("* " + what);
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(m_);
        pullLocked();
        return lines_;
    }

private:
    void pullLocked() {
        if (pc_)
            for (auto& line : pc_->takeJournal())
                lines_.push_back(std::move(line));
    }
    std::mutex m_;
    sim::SimPc* pc_ = nullptr;
    std::vector<std::string> lines_;
};

Timeline timeline;
std::mutex logLock;
std::vector<plat::String> logLines;

void captureLog(const plat::String& text) {
    {
        std::lock_guard<std::mutex> lock(logLock);
        logLines.push_back(text);
    }
    if (text.find(u"Terminating") != plat::String::npos)
        timeline.note("log: " + plat::toUtf8(text.substr(text.find(u':') + 1)));
}

std::string present() {
    return "transmitterPresent " + std::to_string(globals().transmitterPresent.load());
}

struct Doubles : Collaborators {
    std::atomic<int> transmitter{0}; // what findDongle reports

    struct Finder : TransmitterFinder {
        Doubles& d;
        explicit Finder(Doubles& d) : d(d) {}
        int findDongle() override {
            timeline.note("findDongle -> " + std::to_string(d.transmitter.load()));
            return d.transmitter;
        }
        plat::Handle getVendorHandle() override { return vendorHandle; }
        plat::Handle getConsumerHandle() override { return consumerHandle; }
    };
    struct Link : VendorLink {
        explicit Link(plat::Handle h) { timeline.note("link created on " + std::to_string(h)); }
        ~Link() override { timeline.note("link deleted"); }
        void sendHostExit() override { timeline.note("HostExit"); }
        void processNewDevices() override { timeline.note("processNewDevices"); }
        void stopReader() override { timeline.note("stopReader, " + present()); }
        void releaseReaderThread() override { timeline.note("releaseReaderThread"); }
    };
    struct Forwarder : KeyForwarder {
        explicit Forwarder(plat::Handle h) {
            timeline.note("forwarder created on " + std::to_string(h));
        }
        ~Forwarder() override { timeline.note("forwarder deleted, " + present()); }
    };
    struct Menu : TrayMenu {
        static std::string at(plat::Point p) {
            return std::to_string(p.x) + "," + std::to_string(p.y);
        }
        plat::HMenu ShowTrayMenu(plat::Hwnd, plat::Point p) override {
            timeline.note("menu at " + at(p));
            return 0x7000;
        }
        plat::HMenu ShowAdvancedTrayMenu(plat::Hwnd, plat::Point p) override {
            timeline.note("advanced menu at " + at(p));
            return 0x7000;
        }
        // Player k's items are 5000 + 100 k + device index.
        void OnPlayerOutput(plat::Hwnd, std::uint32_t id) override {
            static const char* const player[] = {"first", "second", "third", "fourth"};
            const std::uint32_t k = (id - 5000) / 100;
            timeline.note((k < 4 ? player[k] : "beyond") + (" " + std::to_string(id)));
        }
        void OnRadioOther(plat::Hwnd, std::uint32_t id) override {
            timeline.note("other " + std::to_string(id));
        }
        void OnReceiver(plat::Hwnd, std::uint32_t id) override {
            timeline.note("receiver " + std::to_string(id));
        }
    };
    struct Page : SettingsPage {
        int templateId;
        explicit Page(int id) : templateId(id) {}
    };
    struct Sheet : SettingsSheet {
        explicit Sheet(const plat::String& caption) {
            timeline.note("sheet [" + plat::toUtf8(caption) + "]");
        }
        ~Sheet() override { timeline.note("sheet deleted"); }
        void addPage(SettingsPage& p) override {
            timeline.note("page " + std::to_string(static_cast<Page&>(p).templateId) + " added");
        }
        void removePage(int index) override {
            timeline.note("page " + std::to_string(index) + " removed");
        }
        std::intptr_t doModal() override {
            timeline.note("sheet shown");
            return IDOK;
        }
    };
    struct About : AboutBox {
        std::intptr_t doModal() override {
            timeline.note("about shown");
            return IDOK;
        }
    };

    std::unique_ptr<TransmitterFinder> makeTransmitterFinder() override {
        return std::make_unique<Finder>(*this);
    }
    std::unique_ptr<VendorLink> makeVendorLink(plat::Handle h) override {
        return std::make_unique<Link>(h);
    }
    std::unique_ptr<KeyForwarder> makeKeyForwarder(plat::Handle h) override {
        return std::make_unique<Forwarder>(h);
    }
    std::unique_ptr<TrayMenu> makeTrayMenu() override { return std::make_unique<Menu>(); }
    std::unique_ptr<SettingsSheet> makeSettingsSheet(const plat::String& caption, plat::Hwnd,
                                                     int) override {
        return std::make_unique<Sheet>(caption);
    }
    std::unique_ptr<SettingsPage> makeSettingsPage(int id) override {
        return std::make_unique<Page>(id);
    }
    std::unique_ptr<AboutBox> makeAboutDialog(plat::Hwnd) override {
        return std::make_unique<About>();
    }
    void rerouteOnDeviceChange() override { timeline.note("reroute"); }
    void offerRestartOnDeviceChange() override { timeline.note("offerRestart"); }
};

class ControllerTest : public testing::Test {
protected:
    std::unique_ptr<sim::SimPc> pc = std::make_unique<sim::SimPc>();
    Doubles doubles;
    plat::Hwnd controller = 0;

    void SetUp() override {
        pc->install();
        timeline.attach(pc.get());
        {
            std::lock_guard<std::mutex> lock(logLock);
            logLines.clear();
        }
        setLogCapture(&captureLog);
        setCollaborators(&doubles);
    }

    void TearDown() override {
        EXPECT_TRUE(pc->failures().empty()) << pc->failures().front();
        timeline.attach(nullptr);
        pc.reset();
        // At exit the product leaves the link to the end of the process; the doubles go here.
        if (Globals* g = currentGlobals()) {
            delete std::exchange(g->vendorLink, nullptr);
            delete std::exchange(g->keyForwarder, nullptr);
        }
        plat::install({});
        setLogCapture(nullptr);
        setCollaborators(nullptr);
        endProcessObjects();
    }

    void start(std::function<int()> entry = runProgram) {
        pc->startProgram(std::move(entry));
        ASSERT_TRUE(pc->waitIdle());
        controller = pc->findWindowByTitle(controllerTitle);
        ASSERT_NE(controller, 0u) << pc->screen();
    }

    // Both interfaces of the transmitter come or go.
    void transmitter(bool plugged) {
        doubles.transmitter = plugged ? 1 : 0;
        const plat::WParam event = plugged ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        pc->sendDeviceChange(event, vendorPath);
        pc->sendDeviceChange(event, consumerPath);
        ASSERT_TRUE(pc->waitIdle());
    }

    void post(std::uint32_t msg, plat::WParam wParam = 0) {
        ASSERT_TRUE(pc->post(controller, msg, wParam, 0));
        ASSERT_TRUE(pc->waitIdle());
    }
    void click(std::uint32_t mouseMessage, plat::Point at = {640, 400}) {
        ASSERT_TRUE(pc->clickTrayIcon(mouseMessage, at)) << "no tray icon";
        ASSERT_TRUE(pc->waitIdle());
    }

    static std::size_t logged(std::u16string_view message) {
        std::lock_guard<std::mutex> lock(logLock);
        std::size_t n = 0;
        for (const auto& line : logLines)
            n += line.ends_with(message);
        return n;
    }

    static std::size_t noted(const std::string& part) {
        std::size_t n = 0;
        for (const auto& line : timeline.lines())
            n += line.find(part) != std::string::npos;
        return n;
    }

    // Each part is found in a later line than the one before it.
    static void expectInOrder(const std::vector<std::string>& parts) {
        const auto lines = timeline.lines();
        std::size_t at = 0;
        for (const auto& part : parts) {
            while (at < lines.size() && lines[at].find(part) == std::string::npos)
                ++at;
            if (at == lines.size()) {
                std::string all;
                for (const auto& l : lines)
                    all += "  " + l + "\n";
                ADD_FAILURE() << "\"" << part << "\" not found in order in:\n" << all;
                return;
            }
            ++at;
        }
    }

    std::size_t modals() const { return pc->modalHistory().size(); }
};

TEST_F(ControllerTest, WithoutTransmitterNothingShowsAndTheNoticeOpensOneAtATime) {
    start();
    EXPECT_TRUE(pc->trayIcons().empty());
    EXPECT_FALSE(pc->windowVisible(controller));
    EXPECT_EQ(modals(), 0u) << pc->screen();
    EXPECT_EQ(noted("link created"), 0u);
    EXPECT_EQ(pc->deviceNotificationWindows(), std::vector<plat::Hwnd>{controller});

    sim::ScriptEntry held;
    held.kind = ModalKind::MessageBox;
    held.caption = shown::noTransmitterCaption;
    held.text = shown::noTransmitterText;
    held.hold = true;
    pc->script(held);
    post(WM_USER, 20);
    ASSERT_EQ(pc->openModals().size(), 1u);
    EXPECT_EQ(pc->openModals()[0].style, 0x2040u);
    EXPECT_EQ(pc->openModals()[0].owner, controller);

    post(WM_USER, 20); // served inside the open box's loop: nothing more
    EXPECT_EQ(modals(), 1u);
    pc->actOnTopModal([](sim::ModalContext& c) { c.pressButton(shown::ok); });
    ASSERT_TRUE(pc->waitIdle());

    pc->answerMessageBox(shown::noTransmitterCaption, std::nullopt, shown::ok);
    post(WM_USER, 20);
    EXPECT_EQ(modals(), 2u);
    EXPECT_EQ(
        logged(u" TRACE :CKTRSystemTrayApplicationDlg::IPCMethod -- Method Exit(Without Dongle)."),
        3u);
    EXPECT_EQ(noted("sheet"), 0u);
}

TEST_F(ControllerTest, StartingWithTheTransmitterShowsTheIconAndStartsLinkAndForwarder) {
    doubles.transmitter = 1;
    start();
    const auto icons = pc->trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].window, controller);
    EXPECT_EQ(icons[0].id, 114u);
    EXPECT_EQ(icons[0].callbackMessage, 0x0401u);
    EXPECT_EQ(icons[0].iconResourceId, 114);
    EXPECT_EQ(icons[0].tip, u"Quorvane Auravo\u2122");
    EXPECT_EQ(globals().trayIconData.flags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    expectInOrder(
        {"findDongle -> 1", "tray icon added", "link created on 81", "forwarder created on 82"});
    EXPECT_EQ(noted("reroute"), 0u); // start-up is no change of the transmitter's presence

    // Another process asks for the settings: the sheet opens with its four pages in order.
    post(WM_USER, 20);
    expectInOrder({"sheet [Quorvane Auravo Settings]", "page 102 added", "page 103 added",
                   "page 104 added", "page 105 added", "sheet shown", "page 3 removed",
                   "page 2 removed", "page 1 removed", "page 0 removed", "sheet deleted"});
    EXPECT_EQ(globals().settingsSheet, nullptr);
    EXPECT_EQ(logged(u"CKTRSystemTrayApplicationDlg::IPCMethod -- Method Exit(With Dongle)."), 1u);
}

TEST_F(ControllerTest, UserWhoHidesTheIconGetsTheLinkWithoutIt) {
    pc->setString(plat::HKCU, u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\",
                  u"Show Tray Icon", u"False");
    doubles.transmitter = 1;
    start();
    EXPECT_TRUE(pc->trayIcons().empty());
    EXPECT_EQ(noted("link created"), 1u);
    EXPECT_EQ(globals().transmitterPresent, 1);

    // Nor does the transmitter's return bring the icon.
    transmitter(false);
    transmitter(true);
    EXPECT_EQ(noted("link created"), 2u);
    EXPECT_TRUE(pc->trayIcons().empty());
    EXPECT_EQ(noted("tray icon added"), 0u);
}

TEST_F(ControllerTest, ArrivalIsHandledOnlyOnTheSecondTransmitterNotification) {
    start();
    doubles.transmitter = 1;
    // Other devices, other events and paths that only contain the transmitter's ids are not
    // counted.
    pc->sendDeviceChange(DBT_DEVICEARRIVAL, u"\\\\?\\HID#Vid_046d&Pid_c52b&MI_00#8&2&0&0000#{x}");
    pc->sendDeviceChange(DBT_DEVICEARRIVAL, u"\\\\?\\USB#VID_0B7A&PID_0100&MI_00#8&2&0&0000#{x}");
    pc->sendDeviceChange(0x0007 /* DBT_DEVNODES_CHANGED */, vendorPath);
    pc->sendDeviceChange(DBT_DEVICEARRIVAL, vendorPath);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_TRUE(pc->trayIcons().empty());
    EXPECT_EQ(noted("findDongle"), 1u); // only at start-up
    EXPECT_EQ(logged(u"DefWindowProc(WM_DEVICECHANGE) -- Method Entry."), 0u);

    pc->sendDeviceChange(DBT_DEVICEARRIVAL, consumerPath);
    ASSERT_TRUE(pc->waitIdle());
    expectInOrder({"findDongle -> 1", "tray icon added", "link created on 81",
                   "forwarder created on 82", "reroute", "offerRestart"});
    ASSERT_EQ(pc->trayIcons().size(), 1u);
    EXPECT_EQ(pc->trayIcons()[0].iconResourceId, 114);
    EXPECT_EQ(globals().transmitterPresent, 1);
    EXPECT_EQ(logged(u" TRACE :CKTRSystemTrayApplicationDlg::DefWindowProc(WM_DEVICECHANGE) -- "
                     u"Method Entry."),
              1u);

    // The count started again: one more notification changes nothing.
    pc->sendDeviceChange(DBT_DEVICEARRIVAL, vendorPath);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(noted("findDongle"), 2u);
}

// Windows 10 and 11 announce the transmitter's interfaces with the device part in upper case,
// older Windows in mixed case; either counts, in any mixture.
TEST_F(ControllerTest, TheTransmittersNotificationsCountHoweverWindowsSpellsThem) {
    start();
    doubles.transmitter = 1;
    pc->sendDeviceChange(DBT_DEVICEARRIVAL,
                         u"\\\\?\\HID#VID_0B7A&PID_0100&MI_00&COL01#7&1a2b3c4d&0&0000#{"
                         u"4d1e55b2-f16f-11cf-88cb-001111000030}");
    pc->sendDeviceChange(DBT_DEVICEARRIVAL,
                         u"\\\\?\\HID#VID_0B7A&PID_0100&MI_00&COL02#7&1a2b3c4d&0&0001#{"
                         u"4d1e55b2-f16f-11cf-88cb-001111000030}");
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 1);
    EXPECT_EQ(noted("link created on 81"), 1u);

    doubles.transmitter = 0;
    pc->sendDeviceChange(DBT_DEVICEREMOVECOMPLETE,
                         u"\\\\?\\hid#vid_0b7a&pid_0100&mi_00&col01#7&1a2b3c4d&0&0000#{x}");
    pc->sendDeviceChange(DBT_DEVICEREMOVECOMPLETE, consumerPath);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 0);
    EXPECT_EQ(noted("findDongle"), 4u); // start-up, arrival, removal and the look after it
}

// A notification that stays alone (its partner lost, or a transmitter with one interface)
// is checked after one second; the count starts again afterwards.
TEST_F(ControllerTest, ALoneNotificationIsCheckedAfterOneSecond) {
    start();
    doubles.transmitter = 1;
    pc->sendDeviceChange(DBT_DEVICEARRIVAL, vendorPath);
    ASSERT_TRUE(pc->waitIdle());
    pc->advance(kLoneNoticeWaitMs - 1);
    EXPECT_EQ(noted("findDongle"), 1u); // only at start-up
    pc->advance(1);
    expectInOrder({"findDongle -> 0", "findDongle -> 1", "tray icon added", "link created on 81",
                   "forwarder created on 82", "reroute", "offerRestart"});
    EXPECT_EQ(globals().transmitterPresent, 1);
    EXPECT_EQ(globals().deviceNoticeCount, 0);
    pc->advance(5000); // the timer went with its check
    EXPECT_EQ(noted("findDongle"), 2u);

    // Counting starts again: one notification after the check is again a lone one.
    doubles.transmitter = 0;
    pc->sendDeviceChange(DBT_DEVICEREMOVECOMPLETE, consumerPath);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 1);
    pc->advance(kLoneNoticeWaitMs);
    EXPECT_EQ(globals().transmitterPresent, 0);
    EXPECT_EQ(noted("link created"), 1u);

    // Without a timer the notification waits for its partner, and nobody is told.
    pc->setTimersFail(true);
    doubles.transmitter = 1;
    pc->sendDeviceChange(DBT_DEVICEARRIVAL, vendorPath);
    ASSERT_TRUE(pc->waitIdle());
    pc->advance(5000);
    EXPECT_EQ(globals().transmitterPresent, 0);
    EXPECT_EQ(modals(), 0u);
    pc->sendDeviceChange(DBT_DEVICEARRIVAL, consumerPath);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(globals().transmitterPresent, 1);
}

// Three notifications: the second completes a pair and is checked at once, the third waits
// one second alone.
TEST_F(ControllerTest, ThreeNotificationsInARowAreCheckedAtTheSecondAndOneSecondAfterTheThird) {
    start();
    doubles.transmitter = 1;
    for (const plat::String* path : {&vendorPath, &consumerPath, &vendorPath})
        pc->sendDeviceChange(DBT_DEVICEARRIVAL, *path);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(noted("findDongle"), 2u);
    EXPECT_EQ(noted("link created"), 1u);
    EXPECT_EQ(globals().deviceNoticeCount, 1);
    pc->advance(kLoneNoticeWaitMs);
    EXPECT_EQ(noted("findDongle"), 3u);
    EXPECT_EQ(globals().deviceNoticeCount, 0);
    EXPECT_EQ(noted("link created"), 1u); // found while present: nothing changes
    pc->advance(5000);
    EXPECT_EQ(noted("findDongle"), 3u);
}

// Unplugged and plugged in again at once: two pairs, two checks, and no late third one from
// a timer of the first pair.
TEST_F(ControllerTest, AnUnplugDirectlyFollowedByAReplugEndsWithANewLink) {
    doubles.transmitter = 1;
    start();
    transmitter(false);
    transmitter(true);
    expectInOrder({"findDongle -> 1", "findDongle -> 0", "stopReader", "forwarder deleted",
                   "findDongle -> 0", "findDongle -> 1", "link deleted", "link created on 81",
                   "forwarder created on 82"});
    EXPECT_EQ(globals().transmitterPresent, 1);
    pc->advance(5000);
    EXPECT_EQ(noted("findDongle"), 4u);
    EXPECT_EQ(noted("link created"), 2u);
}

TEST_F(ControllerTest, RemovalTearsDownInOrderAndArrivalReplacesTheOldLink) {
    doubles.transmitter = 1;
    start();
    const char16_t* titles[] = {shown::aboutTitle,    shown::newDeviceTitle,  shown::renameTitle,
                                shown::deleteCaption, shown::editPlayerTitle, shown::settingsTitle};
    std::vector<plat::Hwnd> windows;
    for (const char16_t* title : titles)
        windows.push_back(pc->createForeignWindow(u"#32770", title, sim::SimPc::kProgramProcessId));
    SetTrayIconImage(true); // as the reader does when a remote device links

    transmitter(false);
    expectInOrder(
        {"findDongle -> 0", "LOG  :Terminating thread in Device change",
         "stopReader, transmitterPresent 1", "tray icon changed: icon 114", "tray icon removed",
         "posted to About Quorvane Auravo Settings: WM_CLOSE",
         "posted to New Auravo Device: WM_CLOSE", "posted to Rename Auravo Device: WM_CLOSE",
         "posted to Delete Auravo Device: WM_CLOSE",
         "posted to Edit Media Player Settings: WM_CLOSE",
         "posted to Quorvane Auravo Settings: WM_CLOSE", "forwarder deleted, transmitterPresent 0",
         "releaseReaderThread", "reroute", "offerRestart", "findDongle -> 0"});
    for (plat::Hwnd w : windows) {
        const auto got = pc->received(w);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].msg, WM_CLOSE);
    }
    EXPECT_TRUE(pc->trayIcons().empty());
    EXPECT_EQ(noted("link deleted"), 0u); // kept until the transmitter returns
    EXPECT_EQ(globals().keyForwarder, nullptr);
    EXPECT_NE(globals().vendorLink, nullptr);

    for (plat::Hwnd w : windows)
        pc->destroyWindow(w);
    pc->answerMessageBox(shown::noTransmitterCaption, std::nullopt, shown::ok);
    post(WM_USER, 20);
    EXPECT_EQ(modals(), 1u);

    transmitter(true);
    expectInOrder({"offerRestart", "findDongle -> 1", "link deleted", "tray icon added",
                   "link created on 81", "forwarder created on 82", "reroute", "offerRestart"});
    ASSERT_EQ(pc->trayIcons().size(), 1u);
    EXPECT_EQ(pc->trayIcons()[0].iconResourceId, 114);
}

struct ClickDelay {
    // "DoubleClickSpeed" under HKEY_CURRENT_USER, where Windows keeps the user's setting, and
    // under HKEY_LOCAL_MACHINE; null: absent.
    const char16_t* user;
    const char16_t* machine;
    std::uint32_t expectedMs;
};

class ClickDelayTest : public ControllerTest, public testing::WithParamInterface<ClickDelay> {};

TEST_P(ClickDelayTest, ASingleClickOpensTheMenuAfterTheDoubleClickTime) {
    if (GetParam().user)
        pc->setString(plat::HKCU, mouseKey, u"DoubleClickSpeed", GetParam().user);
    if (GetParam().machine)
        pc->setString(plat::HKLM, mouseKey, u"DoubleClickSpeed", GetParam().machine);
    doubles.transmitter = 1;
    start();
    click(WM_LBUTTONDOWN, {10, 20});
    pc->advance(GetParam().expectedMs - 1);
    EXPECT_EQ(noted("menu at"), 0u);
    pc->advance(1);
    EXPECT_EQ(noted("menu at 10,20"), 1u);
    pc->advance(5000); // the timer was killed when it fired
    EXPECT_EQ(noted("menu at"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, ClickDelayTest,
    testing::Values(ClickDelay{nullptr, nullptr, 1000}, ClickDelay{u"500", nullptr, 500},
                    ClickDelay{u"400", u"700", 400}, ClickDelay{nullptr, u"250ms", 250},
                    // Ten characters do not fit the buffer with their terminator.
                    ClickDelay{u"1234567890", u"600", 600},
                    ClickDelay{nullptr, u"1234567890", 1000}));

TEST_F(ControllerTest, ASecondSingleClickAfterTheMenuOpensItAgain) {
    doubles.transmitter = 1;
    start();
    // The click gives the program the right to take the foreground, but the right may be gone
    // when the timer fires: the controller takes it at once, so that the menu it then tracks
    // closes when the user clicks elsewhere.
    const plat::Hwnd users = pc->createForeignWindow(u"Notepad", u"Untitled - Notepad");
    plat::desktop().setForegroundWindow(users);
    click(WM_LBUTTONDOWN, {10, 20});
    EXPECT_EQ(plat::desktop().getForegroundWindow(), controller);
    pc->advance(1000);
    ASSERT_EQ(noted("menu at 10,20"), 1u);
    // The timer that opened the menu is idle again: the next click starts it anew.
    click(WM_LBUTTONDOWN, {30, 40});
    pc->advance(1000);
    EXPECT_EQ(noted("menu at 30,40"), 1u);
}

TEST_F(ControllerTest, DoubleClickOpensTheSettingsRightClickTheMenuAtOnce) {
    doubles.transmitter = 1;
    start();
    click(WM_LBUTTONDOWN);
    click(WM_LBUTTONDBLCLK);
    pc->advance(3000);
    EXPECT_EQ(noted("sheet shown"), 1u);
    EXPECT_EQ(noted("menu at"), 0u);

    click(WM_RBUTTONDOWN, {5, 6});
    EXPECT_EQ(noted("* menu at 5,6"), 1u);
    pc->setString(plat::HKCU, u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\",
                  u"Enable Advanced Menu", u"True");
    click(WM_RBUTTONDOWN, {7, 8});
    EXPECT_EQ(noted("advanced menu at 7,8"), 1u);
    click(WM_MOUSEMOVE);
    click(WM_LBUTTONUP);
    EXPECT_EQ(logged(u"OnIcon(WM_RBUTTONDOWN) -- Method Entry."), 2u);
    EXPECT_EQ(noted("menu at"), 2u);

    // Commands of the generated items reach the menu builder with their ids.
    post(WM_COMMAND, 5003);
    post(WM_COMMAND, 5399);
    post(WM_COMMAND, 9100);
    post(WM_COMMAND, 10015);
    post(WM_COMMAND, 10016);
    expectInOrder({"first 5003", "fourth 5399", "other 9100", "receiver 10015"});
    EXPECT_EQ(noted("receiver 10016"), 0u);
}

TEST_F(ControllerTest, WhenTheClickTimerCannotStartSingleClicksWaitForADoubleClick) {
    doubles.transmitter = 1;
    start();
    pc->setTimersFail(true);
    pc->answerMessageBox(shown::error, shown::noTimer, shown::ok);
    click(WM_LBUTTONDOWN);
    EXPECT_EQ(modals(), 1u);
    EXPECT_EQ(pc->modalHistory()[0].style, 0x2010u);
    pc->setTimersFail(false);

    click(WM_LBUTTONDOWN);
    pc->advance(5000);
    EXPECT_EQ(modals(), 1u);
    EXPECT_EQ(noted("menu at"), 0u);
    click(WM_RBUTTONDOWN);
    EXPECT_EQ(noted("menu at"), 1u);

    click(WM_LBUTTONDBLCLK);
    EXPECT_EQ(noted("sheet shown"), 1u);
    click(WM_LBUTTONDOWN);
    pc->advance(1000);
    EXPECT_EQ(noted("menu at"), 2u);
}

TEST_F(ControllerTest, AnOpenSheetRestartPromptOrExitConfirmationIsOnlyBroughtForward) {
    doubles.transmitter = 1;
    start();
    // Created last-first, so that a wrong order would find another one.
    const plat::Hwnd exitBox =
        pc->createForeignWindow(u"#32770", shown::exitCaption, sim::SimPc::kProgramProcessId);
    const plat::Hwnd restart =
        pc->createForeignWindow(u"#32770", shown::restartCaption, sim::SimPc::kProgramProcessId);
    const plat::Hwnd sheet =
        pc->createForeignWindow(u"#32770", shown::settingsTitle, sim::SimPc::kProgramProcessId);
    for (plat::Hwnd expected : {sheet, restart, exitBox}) {
        for (std::uint32_t mouse : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN}) {
            plat::desktop().setForegroundWindow(controller);
            click(mouse);
            EXPECT_EQ(plat::desktop().getForegroundWindow(), expected);
        }
        pc->destroyWindow(expected);
    }
    pc->advance(5000);
    EXPECT_EQ(noted("menu at"), 0u);
    EXPECT_EQ(noted("sheet shown"), 0u);
    EXPECT_EQ(modals(), 0u);
    EXPECT_EQ(logged(u"OnIcon(WM_LBUTTONDBLCLK) -- Method Exit."), 3u);

    click(WM_RBUTTONDOWN);
    EXPECT_EQ(noted("menu at"), 1u);
}

TEST_F(ControllerTest, ExitAsksOnceAndEndsOnlyOnYes) {
    doubles.transmitter = 1;
    start();
    sim::ModalView seen;
    sim::ScriptEntry no;
    no.kind = ModalKind::MessageBox;
    no.caption = shown::exitCaption;
    no.text = shown::exitText;
    no.act = [&seen](sim::ModalContext& c) {
        seen = c.view();
        c.pressButton(shown::no);
    };
    pc->script(no);
    post(WM_COMMAND, IDM_EXIT);
    EXPECT_TRUE(pc->programRunning());
    EXPECT_EQ(seen.style, 0x2021u); // Yes/No shown as relabelled OK/Cancel
    EXPECT_NE(seen.button(shown::yes), nullptr);
    EXPECT_EQ(noted("HostExit"), 0u);
    EXPECT_EQ(pc->trayIcons().size(), 1u);

    sim::ScriptEntry held = no;
    held.act = nullptr;
    held.hold = true;
    pc->script(held);
    post(WM_COMMAND, IDM_EXIT);
    plat::desktop().setForegroundWindow(controller);
    post(WM_COMMAND, IDM_EXIT); // a second Exit only brings the open question forward
    EXPECT_EQ(modals(), 2u);
    EXPECT_EQ(plat::desktop().getForegroundWindow(), pc->openModals().at(0).window);

    pc->actOnTopModal([](sim::ModalContext& c) { c.pressButton(shown::yes); });
    EXPECT_EQ(pc->waitForExit().value_or(-1), 0);
    expectInOrder({"answered: Yes", "HostExit", "tray icon removed", "forwarder deleted",
                   "program ended: 0"});
}

TEST_F(ControllerTest, WmCloseAndTheEndOfTheSessionEndTheRunWithoutAsking) {
    doubles.transmitter = 1;
    start();
    EXPECT_EQ(plat::desktop().sendMessage(controller, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(plat::desktop().sendMessage(controller, WM_ENDSESSION, FALSE, 0), 0);
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_TRUE(pc->programRunning());
    EXPECT_EQ(noted("HostExit"), 0u);

    post(WM_CLOSE);
    EXPECT_EQ(pc->waitForExit().value_or(-1), 0);
    EXPECT_EQ(modals(), 0u);
    expectInOrder({"HostExit", "tray icon removed", "forwarder deleted", "program ended: 0"});
}

TEST_F(ControllerTest, SessionEndSendsHostExitAndEnds) {
    doubles.transmitter = 1;
    start();
    post(WM_ENDSESSION, TRUE);
    EXPECT_EQ(pc->waitForExit().value_or(-1), 0);
    expectInOrder({"HostExit", "tray icon removed", "program ended: 0"});
}

TEST_F(ControllerTest, RequestsFromTheReaderThread) {
    start();
    post(WM_USER, 0); // no link yet
    EXPECT_EQ(noted("processNewDevices"), 0u);
    transmitter(true);
    post(WM_USER, 0);
    EXPECT_EQ(noted("processNewDevices"), 1u);

    post(WM_USER, 2); // no sheet open: nobody to forward to
    post(WM_USER, 1);
    EXPECT_EQ(noted("sheet shown"), 1u);
    const plat::Hwnd sheet =
        pc->createForeignWindow(u"#32770", shown::settingsTitle, sim::SimPc::kProgramProcessId);
    post(WM_USER, 2);
    post(WM_USER, 1); // open already: brought forward
    post(WM_USER, 7);
    const auto got = pc->received(sheet);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, WM_USER);
    EXPECT_EQ(got[0].wParam, 1u);
    EXPECT_EQ(noted("sheet shown"), 1u);
    EXPECT_EQ(plat::desktop().getForegroundWindow(), sheet);
    EXPECT_EQ(
        logged(u" TRACE :CKTRSystemTrayApplicationDlg::DefWindowProc(WM_USER) -- Method Entry."),
        7u);
}

TEST_F(ControllerTest, HelpOpensItsTopicAndAboutOpensOnce) {
    start();
    post(WM_COMMAND, IDM_HELP);
    // The help file is looked for in the program's own folder, not in the current one.
    EXPECT_EQ(noted("help: \"C:\\Program Files\\Quorvane\\Quorvane Auravo\\Quorvane "
                    "Auravo.chm::/startofhelp.htm\" command 0 data 0x0"),
              1u);

    post(WM_COMMAND, IDM_ABOUT);
    EXPECT_EQ(noted("about shown"), 1u);
    const plat::Hwnd about =
        pc->createForeignWindow(u"#32770", shown::aboutTitle, sim::SimPc::kProgramProcessId);
    post(WM_COMMAND, IDM_ABOUT);
    EXPECT_EQ(noted("about shown"), 1u);
    EXPECT_EQ(plat::desktop().getForegroundWindow(), about);
}

TEST_F(ControllerTest, FailedDeviceNotificationRegistrationIsReportedAndTheRunGoesOn) {
    pc->setDeviceNotificationFails(true);
    pc->answerMessageBox(shown::error, shown::deviceNotifyFailed, shown::ok);
    start();
    ASSERT_EQ(modals(), 1u);
    EXPECT_EQ(pc->modalHistory()[0].style, 0x2010u);
    EXPECT_TRUE(pc->programRunning());
}

TEST_F(ControllerTest, TaskbarCreatedAddsTheIconAgainOnlyWhenWantedAndPresent) {
    doubles.transmitter = 1;
    start();
    const std::uint32_t taskbarCreated = plat::desktop().registerWindowMessage(u"TaskbarCreated");
    auto explorerRestarts = [&] {
        plat::ui().shellNotifyIcon(NIM_DELETE,
                                   globals().trayIconData); // a new Explorer knows no icons
        post(taskbarCreated);
    };
    SetTrayIconImage(true);
    explorerRestarts();
    ASSERT_EQ(pc->trayIcons().size(), 1u);
    EXPECT_EQ(pc->trayIcons()[0].iconResourceId, 115); // with the image it had

    pc->setString(plat::HKCU, u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\",
                  u"Show Tray Icon", u"False");
    explorerRestarts();
    EXPECT_TRUE(pc->trayIcons().empty());

    pc->setString(plat::HKCU, u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\",
                  u"Show Tray Icon", u"True");
    transmitter(false);
    explorerRestarts();
    EXPECT_TRUE(pc->trayIcons().empty());
}

// At a new scale the tray icon is drawn again at the small-icon size it now has, with the image
// it had, also when the shell restarts for the new scale.
TEST_F(ControllerTest, ANewScaleDrawsTheTrayIconAgainAtItsSize) {
    doubles.transmitter = 1;
    start();
    ASSERT_EQ(pc->trayIcons().size(), 1u);
    EXPECT_EQ(pc->trayIcons()[0].iconSize, 16);
    SetTrayIconImage(true);
    pc->setDpi(144); // 150 %
    post(WM_DPICHANGED, 0x00900090);
    ASSERT_EQ(pc->trayIcons().size(), 1u);
    EXPECT_EQ(pc->trayIcons()[0].iconSize, 24);
    EXPECT_EQ(pc->trayIcons()[0].iconResourceId, 115);

    pc->setDpi(192); // 200 %
    plat::ui().shellNotifyIcon(NIM_DELETE, globals().trayIconData);
    post(plat::desktop().registerWindowMessage(u"TaskbarCreated"));
    ASSERT_EQ(pc->trayIcons().size(), 1u);
    EXPECT_EQ(pc->trayIcons()[0].iconSize, 32);
    EXPECT_EQ(pc->trayIcons()[0].iconResourceId, 115);
}

// Run as administrator, the program still hears the shell's restart and the clicks on its
// icon, other processes' WM_USER requests and their WM_CLOSE; nothing else of theirs reaches it.
TEST_F(ControllerTest, ElevatedItStillHearsTaskbarCreatedIconClicksRequestsAndCloseFromOthers) {
    pc->setProgramElevated(true);
    doubles.transmitter = 1;
    start();
    const std::uint32_t taskbarCreated = plat::desktop().registerWindowMessage(u"TaskbarCreated");
    auto allowed = pc->messagesAllowedFromLower(controller);
    std::sort(allowed.begin(), allowed.end());
    EXPECT_EQ(allowed, (std::vector<std::uint32_t>{WM_CLOSE, WM_USER, 0x0401, taskbarCreated}));
    click(WM_RBUTTONDOWN, {5, 6});
    EXPECT_EQ(noted("menu at 5,6"), 1u);

    EXPECT_FALSE(pc->post(controller, WM_COMMAND, IDM_ABOUT));
    ASSERT_TRUE(pc->waitIdle());
    EXPECT_EQ(noted("about shown"), 0u);

    plat::ui().shellNotifyIcon(NIM_DELETE, globals().trayIconData); // Explorer restarts
    post(taskbarCreated);
    EXPECT_EQ(pc->trayIcons().size(), 1u);
    post(WM_USER, 20);
    EXPECT_EQ(noted("sheet shown"), 1u);
    post(WM_CLOSE);
    EXPECT_EQ(pc->waitForExit().value_or(-1), 0);
}

// Records what reaches the controller's default processing.
class WatchedController : public CKTRSystemTrayApplicationDlg {
protected:
    plat::LResult DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                plat::LParam lParam) override {
        if (msg == WM_RBUTTONDBLCLK)
            timeline.note("controller got WM_RBUTTONDBLCLK");
        return CKTRSystemTrayApplicationDlg::DefWindowProc(msg, wParam, lParam);
    }
};

TEST_F(ControllerTest, TearDownClosesATrayMenuOnlyOnceOneWasShown) {
    doubles.transmitter = 1;
    start([] {
        Globals& g = startProcessObjects();
        fw::setResourceModule(plat::resources().programModule());
        WatchedController watched;
        g.application->setMainWindow(&watched);
        watched.doModal();
        g.application->setMainWindow(nullptr);
        return 0;
    });
    transmitter(false);
    EXPECT_EQ(noted("WM_RBUTTONDBLCLK"), 0u);

    transmitter(true);
    click(WM_RBUTTONDOWN);
    transmitter(false);
    expectInOrder({"menu at", "controller got WM_RBUTTONDBLCLK"});
}

} // namespace
