// Months without a restart: each road the program takes again and again, repeated many times
// on the whole program, and afterwards every object it holds (registry keys, files, mutexes,
// threads and their handles, windows, menus, icons, timers, HID handles, COM objects, ...) back
// at the baseline taken once the road had run once.
//
// The plain build runs each road as often as a long-running PC would take it in weeks. A
// sanitizer build runs the same code 5 to 20 times slower and is there for the memory and
// thread faults a round shows, not for the counts: it runs a tenth of the rounds (at least
// two, so that a round follows one that went the same way).
#include "resource.h"
#include "settings_support.h"
#include "shown_texts.h"

#include <gtest/gtest.h>

#include <algorithm>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QA_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QA_SOAK_SANITIZED 1
#endif
#endif

namespace {

using namespace settingstest;

#ifdef QA_SOAK_SANITIZED
constexpr int kDivisor = 10;
#else
constexpr int kDivisor = 1;
#endif

int rounds(int full) {
    return std::max(2, full / kDivisor);
}

const plat::String kNewDevice = shown::newDeviceTitle;
const plat::String kNewDevices = shown::newDevicesTitle;
const plat::String kAdvice = shown::restartAppsCaption;
const plat::String kRestart = shown::restartCaption;
const plat::String kNoNewDevice = shown::noNewDeviceCaption;

// Control ids of the pairing templates.
constexpr int kWaitCancel = IDC_CONNECT_CANCEL, kNewList = IDC_NEW_DEVICE_LIST, kNext = IDC_NEXT,
              kPair = IDC_PAIR;

class SoakTest : public SettingsTest {
protected:
    sim::HandleSnapshot baseline;

    void SetUp() override {
        SettingsTest::SetUp();
        // Today's Windows: each change of the default device goes through the policy-config
        // object, each audio pass through a device enumerator.
        pc->setWindowsAudio(sim::WindowsAudio::CoreAudio);
        addAudioDevice(u"Speakers (High Definition Audio)", u"HD Audio Output");
        pc->setString(plat::HKCU, kSoundMapper, u"Playback", u"HD Audio Output");
        plug();
        start();
        pc->advance(3000);
        ASSERT_TRUE(pc->waitIdle());
    }

    void takeBaseline() {
        ASSERT_TRUE(pc->waitIdle());
        baseline = pc->handles();
    }
    // Every count of the program as at the baseline, its threads among them.
    void expectAtBaseline(const char* road) {
        ASSERT_TRUE(pc->waitIdle());
        const sim::HandleSnapshot now = pc->handles();
        std::string lines;
        for (const auto& line :
             sim::handleDifferences(baseline, now, sim::SimPc::kProgramProcessId))
            lines += "\n  " + line;
        EXPECT_TRUE(lines.empty()) << road << ": the program's objects differ from the baseline:"
                                   << lines;
        EXPECT_EQ(now.count(sim::SimPc::kProgramProcessId, sim::HandleKind::Thread),
                  baseline.count(sim::SimPc::kProgramProcessId, sim::HandleKind::Thread));
        EXPECT_TRUE(pc->openModals().empty()) << pc->screen();
    }

    void advance(std::uint32_t ms) {
        pc->advance(ms);
        ASSERT_TRUE(pc->waitIdle());
    }
    void replug() {
        pc->unplugTransmitter(tx);
        ASSERT_TRUE(pc->waitIdle());
        ASSERT_TRUE(pc->replugTransmitter(tx));
        ASSERT_TRUE(pc->waitForTransmitterRead(tx));
    }
    // The tray menu by a right click, or a left click and the double-click time; the user
    // chooses `path` ("Sub>Item"), or closes it with Escape when `path` is empty.
    void menu(const plat::String& path, bool left = false) {
        sim::ScriptEntry entry;
        entry.kind = sim::ModalKind::PopupMenu;
        entry.label = "the tray menu";
        entry.act = [path](sim::ModalContext& m) {
            if (path.empty())
                m.pressEscape();
            else
                m.chooseMenuItem(path);
        };
        pc->script(std::move(entry));
        const std::uint32_t down = left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN;
        ASSERT_TRUE(pc->clickTrayIcon(down));
        ASSERT_TRUE(pc->clickTrayIcon(down + 1));
        ASSERT_TRUE(pc->waitIdle());
        if (left)
            advance(1000); // the double-click time: no second click came
        ASSERT_EQ(pc->pendingScriptEntries(), 0u) << pc->screen();
    }
    void setAdvancedMenu(bool on) {
        pc->setString(plat::HKCU, kPreferences, u"Enable Advanced Menu", on ? u"True" : u"False");
    }
    void deleteDevice(const plat::String& name) {
        ASSERT_NE(globals().vendorLink, nullptr);
        ASSERT_EQ(currentVendorLink()->deletePairedDevice(name), 1);
        ASSERT_TRUE(pc->waitForTransmitterRead(tx));
    }
    // Add Device on the Devices page; the wait is held open.
    void addDevice() {
        openSettings();
        holdDialog(kNewDevice);
        click(id::addDevice);
        ASSERT_EQ(top().caption, kNewDevice);
    }
    void pairRemotes(std::vector<sim::NewRemote> remotes) {
        ASSERT_FALSE(pc->transmitterPair(tx, std::move(remotes)).empty());
        ASSERT_TRUE(pc->waitIdle());
    }
    // The pairing is over and the settings are closed.
    void closeSettings() {
        ASSERT_EQ(top().caption, kSettings) << pc->screen();
        EXPECT_EQ(globals().pairedDevices.pairingIdle(), 1);
        click(id::close);
    }
};

sim::NewRemote named(const plat::String& name) {
    return {sim::RemoteKind::Receiver, name, std::nullopt};
}

TEST_F(SoakTest, TheTransmitterComesAndGoes) {
    replug();
    takeBaseline();
    for (int i = 0; i < rounds(1000); ++i)
        replug();
    expectAtBaseline("1000 removals and arrivals");
}

// The PC sleeps: every read fails with "device not connected" for 30 s and no removal is
// announced; on waking the system announces the removal, then the arrival.
TEST_F(SoakTest, ThePcSleepsAndWakes) {
    replug();
    takeBaseline();
    for (int i = 0; i < rounds(100); ++i) {
        pc->setTransmitterAsleep(tx, true);
        advance(30000);
        replug();
    }
    expectAtBaseline("100 sleeps");
}

// Both forms by either button, each with a choice: the simple form moves the computer's sound
// to the computer and back to the transmitter (through the policy-config object each time).
TEST_F(SoakTest, TheTrayMenuInBothForms) {
    auto simpleRound = [&] {
        pc->answerMessageBox(kAdvice, std::nullopt, shown::ok);
        menu(u"Kitchen", true);
        pc->answerMessageBox(kAdvice, std::nullopt, shown::ok);
        menu(shown::myComputer);
    };
    simpleRound();
    takeBaseline();
    for (int i = 0; i < rounds(500); ++i)
        simpleRound();
    expectAtBaseline("1000 simple menus");
    setAdvancedMenu(true);
    for (int i = 0; i < rounds(500); ++i) {
        menu(u"Bedroom");
        menu(u"", true);
    }
    expectAtBaseline("1000 advanced menus");
}

TEST_F(SoakTest, TheSettingsWithEveryPageAndAbout) {
    auto settings = [&] {
        openSettings();
        for (int page : {1, 2, 3, 0})
            tab(page);
        click(id::close);
    };
    auto about = [&] {
        sim::ScriptEntry entry;
        entry.kind = sim::ModalKind::Dialog;
        entry.templateId = 100;
        entry.label = "About";
        entry.act = [](sim::ModalContext& m) { m.pressButton(shown::ok); };
        pc->script(std::move(entry));
        menu(shown::about);
    };
    settings();
    about();
    takeBaseline();
    for (int i = 0; i < rounds(200); ++i)
        settings();
    expectAtBaseline("200 settings");
    for (int i = 0; i < rounds(200); ++i)
        about();
    expectAtBaseline("200 About");
}

// Each way a pairing can end.
TEST_F(SoakTest, PairingEndsEveryWay) {
    const std::vector<std::pair<const char*, std::function<void()>>> roads = {
        {"one new device named",
         [&] {
             addDevice();
             holdDialog(kNewDevice);
             pairRemotes({named(u"Porch")});
             click(kPair);
             closeSettings();
             deleteDevice(u"Porch");
         }},
        {"one of several chosen",
         [&] {
             addDevice();
             holdDialog(kNewDevices);
             pairRemotes({named(u"Porch"), named(u"Garage")});
             select(kNewList, u"Garage");
             holdDialog(kNewDevice);
             click(kNext);
             click(kPair);
             closeSettings();
             deleteDevice(u"Garage");
         }},
        {"the wait cancelled",
         [&] {
             addDevice();
             click(kWaitCancel);
             closeSettings();
         }},
        {"the wait timing out",
         [&] {
             addDevice();
             pc->answerMessageBox(kNoNewDevice, std::nullopt, shown::ok);
             advance(182000);
             closeSettings();
         }},
        {"pairing failing during the wait",
         [&] {
             addDevice();
             pc->transmitterEvent(tx, sim::TransmitterEvent::PairingFailed);
             ASSERT_TRUE(pc->waitIdle());
             closeSettings();
         }},
        {"pairing failing while naming",
         [&] {
             addDevice();
             holdDialog(kNewDevice);
             pairRemotes({named(u"Porch")});
             pc->answerMessageBox(shown::error, std::nullopt, shown::ok);
             pc->transmitterEvent(tx, sim::TransmitterEvent::PairingFailed);
             ASSERT_TRUE(pc->waitIdle());
             closeSettings();
         }},
        {"a remote paired already",
         [&] {
             addDevice();
             pc->answerMessageBox(kNoNewDevice, std::nullopt, shown::ok);
             pairRemotes({{sim::RemoteKind::Receiver, std::nullopt, txtest::address(2)}});
             closeSettings();
         }},
    };
    for (const auto& [name, road] : roads)
        road();
    takeBaseline();
    for (const auto& [name, road] : roads) {
        for (int i = 0; i < rounds(100) && !HasFatalFailure(); ++i)
            road();
        expectAtBaseline(name);
    }
    EXPECT_EQ(pc->pendingScriptEntries(), 0u);
}

TEST_F(SoakTest, AudioDevicesComeAndGo) {
    takeBaseline();
    for (int i = 0; i < rounds(1000); ++i) {
        sim::AudioDeviceConfig headset;
        headset.description = u"Headset (USB Headset)";
        const sim::AudioDeviceId id = pc->addAudioDevice(headset);
        advance(2000);
        ASSERT_TRUE(pc->removeAudioDevice(id));
        advance(2000);
    }
    expectAtBaseline("1000 audio device arrivals and removals");
}

// Each deep-integration player, running, routed to the transmitter and back from the advanced
// menu; each change closes and starts it again.
TEST_F(SoakTest, EachPlayerIsRoutedAndRestarted) {
    for (const char16_t* name : {u"Winamp", u"Windows Media Player", u"Musicmatch"}) {
        sim::PlayerConfig player;
        player.name = name;
        player.running = true;
        ASSERT_TRUE(pc->installPlayer(player));
    }
    setAdvancedMenu(true);
    auto route = [&](const char16_t* player, const char16_t* device) {
        pc->answerMessageBox(kRestart, std::nullopt, shown::yes);
        menu(plat::String(u"Media Player Output>") + player + u">" + device);
    };
    auto round = [&] {
        for (const char16_t* player : {u"Winamp", u"Windows Media Player", u"Musicmatch"}) {
            route(player, u"Quorvane Auravo");
            route(player, shown::myComputer);
        }
    };
    round();
    takeBaseline();
    for (int i = 0; i < rounds(100); ++i)
        round();
    expectAtBaseline("200 routings of each player");
    for (const char16_t* player : {u"Winamp", u"Windows Media Player", u"Musicmatch"}) {
        EXPECT_TRUE(pc->playerRunning(player));
        EXPECT_EQ(pc->playerStarts(player).size(), 1u + 2u * (1u + rounds(100)));
    }
}

} // namespace
