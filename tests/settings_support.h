// Shared by the settings tests: the whole program on the simulated PC with its real sheet and
// pages, opened by a double click on the tray icon and held open while a test acts on it as
// the user, through the scripted user's hands on the innermost open window.
#pragma once

#include "QuorvaneAuravoSystemTrayApplication.h"
#include "resource.h"
#include "shown_texts.h"
#include "transmitter_support.h"

#include <functional>
#include <string>
#include <vector>

namespace settingstest {

inline const plat::String kSettings = shown::settingsTitle;
inline const plat::String kPreferences =
    u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\";
inline const plat::String kSoundMapper = u"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper\\";

// Control ids: the property sheet's own, and the program's pages' and dialogs' (resource.h).
namespace id {
inline constexpr int tabs = 0x3020, close = 1, cancel = 2, apply = 0x3021, help = 9;
inline constexpr int pairedList = IDC_PAIRED_LIST, addDevice = IDC_ADD_DEVICE,
                     rename = IDC_RENAME_DEVICE, remove = IDC_DELETE_DEVICE,
                     playbackCombo = IDC_PLAYBACK_COMBO;
inline constexpr int playerList = IDC_PLAYER_LIST, edit = IDC_EDIT_PLAYER;
inline constexpr int defaultCombo = IDC_DEFAULT_COMBO;
inline constexpr int trayIcon = IDC_SHOW_TRAY_ICON, advancedMenu = IDC_ADVANCED_MENU,
                     database = IDC_DATABASE_DUMP;
inline constexpr int newName = IDC_NEW_NAME, renameOk = IDC_RENAME_OK;
inline constexpr int outputCombo = IDC_OUTPUT_COMBO, editOk = IDC_EDIT_OK;
inline constexpr int yes = 6, no = 7;
} // namespace id

class SettingsTest : public txtest::SimTest {
protected:
    sim::TransmitterId tx = 0;

    // Newest first, as the transmitter stores them.
    void plug(std::vector<sim::PairedDevice> devices = txtest::threeDevices()) {
        sim::TransmitterConfig config;
        config.database = std::move(devices);
        tx = pc->plugTransmitter(config);
    }
    void start() {
        pc->startProgram([] { return runProgram(); });
        ASSERT_TRUE(pc->waitIdle());
        if (tx) {
            ASSERT_TRUE(pc->waitForTransmitterRead(tx));
        }
    }
    void addAudioDevice(const plat::String& description, const plat::String& waveName = {}) {
        sim::AudioDeviceConfig config;
        config.description = description;
        config.waveName = waveName;
        pc->addAudioDevice(config);
    }
    // One pass of the audio thread sees the devices as they are now.
    void audioPass() {
        pc->advance(1500);
        ASSERT_TRUE(pc->waitIdle());
    }

    // A double click on the tray icon, as the user opens the settings; held open.
    void openSettings() {
        holdSettings();
        for (std::uint32_t msg : {WM_LBUTTONDOWN, WM_LBUTTONUP})
            ASSERT_TRUE(pc->clickTrayIcon(msg));
        ASSERT_TRUE(pc->waitIdle());
        for (std::uint32_t msg : {WM_LBUTTONDBLCLK, WM_LBUTTONUP})
            ASSERT_TRUE(pc->clickTrayIcon(msg));
        ASSERT_TRUE(pc->waitIdle());
        ASSERT_FALSE(pc->openModals().empty()) << pc->screen();
        ASSERT_EQ(top().caption, kSettings);
    }

    sim::ModalView top() {
        const auto open = pc->openModals();
        return open.empty() ? sim::ModalView{} : open.back();
    }
    sim::ControlView control(int controlId) {
        const sim::ModalView v = top();
        const sim::ControlView* c = v.control(controlId);
        return c ? *c : sim::ControlView{};
    }
    std::vector<plat::String> items(int controlId) { return control(controlId).items; }
    plat::String selected(int controlId) {
        const sim::ControlView c = control(controlId);
        return c.selection >= 0 && static_cast<std::size_t>(c.selection) < c.items.size()
                   ? c.items[static_cast<std::size_t>(c.selection)]
                   : plat::String();
    }

    // Input on the innermost window; returns once the program is idle again (also when the
    // input opened another window).
    void act(std::function<void(sim::ModalContext&)> action) {
        pc->postToTopModal(std::move(action));
        ASSERT_TRUE(pc->waitIdle());
    }
    void tab(int index) {
        act([index](sim::ModalContext& m) { m.selectItem(id::tabs, index); });
    }
    void click(int controlId) {
        act([controlId](sim::ModalContext& m) { m.pressId(controlId); });
    }
    void select(int controlId, const plat::String& item) {
        act([controlId, item](sim::ModalContext& m) { m.selectItemByText(controlId, item); });
    }

    // The settings stay open once they open, whoever opens them.
    void holdSettings() {
        sim::ScriptEntry entry;
        entry.kind = sim::ModalKind::PropertySheet;
        entry.caption = kSettings;
        entry.hold = true;
        entry.label = "the settings";
        pc->script(std::move(entry));
    }
    void holdDialog(const plat::String& caption) { hold(sim::ModalKind::Dialog, caption); }
    void holdBox(const plat::String& caption) { hold(sim::ModalKind::MessageBox, caption); }
    void hold(sim::ModalKind kind, const plat::String& caption) {
        sim::ScriptEntry entry;
        entry.kind = kind;
        entry.caption = caption;
        entry.hold = true;
        entry.label = "hold " + plat::toUtf8(caption);
        pc->script(std::move(entry));
    }

    // WM_USER from another thread of the program, as the reader and the audio thread post it.
    void postToSettings(plat::WParam code) {
        ASSERT_TRUE(pc->post(pc->findWindowByTitle(kSettings), WM_USER, code));
        ASSERT_TRUE(pc->waitIdle());
    }

    // The help requests so far, as the simulated PC records them.
    std::vector<std::string> helpRequests() {
        std::vector<std::string> out;
        for (const auto& line : pc->journal())
            if (line.rfind("help: ", 0) == 0)
                out.push_back(line);
        return out;
    }

    std::vector<std::uint8_t> codesSince(std::size_t from) {
        const auto all = pc->transmitterCommandCodes(tx);
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
    }
};

// The help file in the simulated program's folder, followed by `topic`.
inline std::string helpFile(const std::string& topic) {
    const std::string program = plat::toUtf8(sim::SimPc::kProgramPath);
    return program.substr(0, program.find_last_of('\\') + 1) + "Quorvane Auravo.chm" + topic;
}

} // namespace settingstest
