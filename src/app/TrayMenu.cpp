#include "TrayMenu.h"

#include "Application.h"
#include "AudioDevices.h"
#include "Debug.h"
#include "DongleVendorCommunication.h"
#include "Globals.h"
#include "PcInfo.h"
#include "RoutingKeys.h"
#include "resource.h"

#include <optional>

namespace {

using namespace TrayMenuIds;


constexpr char16_t noReceivers[] = u"<no receivers>";
// What a player's "Default Audio Device" item asks for: the player follows the system default.
constexpr char16_t followSystemDefault[] = u"Same as all other applications";
// The system default as the builders ask for it; the handlers use "Default" and "".
constexpr char16_t systemDefaultTarget[] = u"szDefaultAudioDevice";

// The transmitter's playback devices are "Quorvane Auravo", numbered when there are several.
bool isTransmitterDevice(const plat::String& name) {
    return name.starts_with(routingkeys::kTransmitterName);
}

bool namesTransmitter(const plat::String& name) {
    return name.find(routingkeys::kTransmitterName) != plat::String::npos;
}

std::uint32_t offset(std::uint32_t base, std::size_t index) {
    return base + static_cast<std::uint32_t>(index);
}

// The first entry equal to `name`, if any.
std::optional<std::size_t> indexOf(const plat::StringArray& list, const plat::String& name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == name)
            return i;
    return std::nullopt;
}

// A menu takes a lone "&" for the mark of the next letter's access key: a name shows as it is
// written only with each "&" doubled. Device names come from the user and from Windows.
plat::String menuText(const plat::String& name) {
    plat::String text;
    text.reserve(name.size());
    for (char16_t c : name) {
        text += c;
        if (c == u'&')
            text += u'&';
    }
    return text;
}

bool insertAtTop(plat::HMenu menu, std::uint32_t flags, std::uintptr_t item,
                 const plat::String& text) {
    return plat::ui().insertMenu(menu, 0, MF_BYPOSITION | flags, item, text);
}

// A submenu that could not be attached is destroyed on its own; one attached goes with the
// menu that holds it.
void insertSubmenuAtTop(plat::HMenu menu, plat::HMenu submenu, const plat::String& title) {
    if (!insertAtTop(menu, MF_POPUP, submenu, title))
        plat::ui().destroyMenu(submenu);
}

void checkRadio(plat::HMenu menu, std::uint32_t first, std::uint32_t last, std::uint32_t check) {
    plat::ui().checkMenuRadioItem(menu, first, last, check, MF_BYCOMMAND);
}

// Step 4 of the simple form: the computer's own devices as "My Computer". The transmitter's
// devices get no item; choosing a receiver routes the sound to the transmitter.
void addSimpleItems(plat::HMenu popup, const plat::StringArray& devices,
                    const plat::String& currentDefault) {
    plat::UserInterface& ui = plat::ui();
    const plat::String myComputer = fw::loadString(IDS_MY_COMPUTER);
    const std::size_t n = devices.size();
    const std::uint32_t last = offset(DefaultDevice, n);
    if (n > 2) {
        const plat::HMenu submenu = ui.createPopupMenu();
        if (!submenu)
            return;
        // Every device of the computer under its own name and its own id, however many of
        // the transmitter's are among them.
        std::optional<std::uint32_t> current;
        for (std::size_t i = 0; i < n; ++i) {
            if (isTransmitterDevice(devices[i]))
                continue;
            ui.appendMenu(submenu, MF_STRING, offset(DefaultDevice, i), menuText(devices[i]));
            if (!current && devices[i] == currentDefault)
                current = offset(DefaultDevice, i);
        }
        if (current)
            checkRadio(submenu, DefaultDevice, last, *current);
        insertSubmenuAtTop(popup, submenu, myComputer);
    } else if (n == 2) {
        for (std::size_t i = 0; i < n; ++i) {
            if (isTransmitterDevice(devices[i]))
                continue;
            if (insertAtTop(popup, MF_STRING, offset(DefaultDevice, i), myComputer) &&
                devices[i] == currentDefault)
                checkRadio(popup, DefaultDevice, last, offset(DefaultDevice, i));
        }
    }
}

// Step 4 of the advanced form: where the system default and each deep-integration player
// send their sound.
void addAdvancedItems(plat::HMenu popup, const plat::StringArray& devices,
                      const plat::String& currentDefault) {
    plat::UserInterface& ui = plat::ui();
    PcInfo& pc = *globals().pcInfo;
    const plat::String defaultDevice = fw::loadString(IDS_DEFAULT_AUDIO_DEVICE);
    const plat::String myComputer = fw::loadString(IDS_MY_COMPUTER);
    const std::size_t n = devices.size();
    // With one or two devices, the computer's own is "My Computer".
    const auto label = [&](std::size_t i) {
        return n > 2 || namesTransmitter(devices[i]) ? menuText(devices[i]) : myComputer;
    };

    if (n >= 1) {
        if (const plat::HMenu submenu = ui.createPopupMenu()) {
            for (std::size_t i = 0; i < n; ++i)
                ui.appendMenu(submenu, MF_STRING, offset(DefaultDevice, i), label(i));
            if (const auto current = indexOf(devices, currentDefault))
                checkRadio(submenu, DefaultDevice, offset(DefaultDevice, n),
                           offset(DefaultDevice, *current));
            insertSubmenuAtTop(popup, submenu, defaultDevice);
        }
    }

    plat::StringArray players;
    pc.getDeepIntegrationPlayerlist(players);
    if (!players.empty()) {
        if (const plat::HMenu all = ui.createPopupMenu()) {
            for (std::size_t k = 0; k < players.size() && k < MaxPlayers; ++k) {
                const std::uint32_t base = offset(FirstPlayer, k * PlayerStride);
                const plat::String current = pc.getPlaybackDevice(players[k]);
                if (n < 1)
                    continue;
                const plat::HMenu submenu = ui.createPopupMenu();
                if (!submenu)
                    continue;
                for (std::size_t i = 0; i < n; ++i)
                    ui.appendMenu(submenu, MF_STRING, offset(base, i), label(i));
                ui.appendMenu(submenu, MF_SEPARATOR, 0, plat::String());
                ui.appendMenu(submenu, MF_STRING, offset(base, n), defaultDevice);
                // A setting that names no current device plays on the default one.
                const auto index = indexOf(devices, current);
                checkRadio(submenu, base, offset(base, n), offset(base, index ? *index : n));
                if (!ui.appendMenu(all, MF_POPUP, submenu, menuText(players[k])))
                    ui.destroyMenu(submenu);
            }
            insertSubmenuAtTop(popup, all, fw::loadString(IDS_MEDIA_PLAYER_OUTPUT));
        }
    }

    insertAtTop(popup, MF_SEPARATOR, 0, plat::String());
}

// Step 5: the paired devices in list order (or "<no receivers>"), the current one checked
// when `checkCurrent` and its name is in the list.
void addPairedDevices(plat::HMenu popup, DongleVendorCommunication* link, bool checkCurrent) {
    plat::StringArray names;
    plat::String current;
    if (link) {
        link->getPairedList(names);
        current = link->getCurrentDeviceName();
    }
    if (names.empty()) {
        insertAtTop(popup, MF_STRING | MF_GRAYED, 0, noReceivers);
        return;
    }
    for (std::size_t i = names.size(); i-- > 0;)
        insertAtTop(popup, MF_STRING, offset(Receiver, i), menuText(names[i]));
    if (!checkCurrent)
        return;
    if (const auto index = indexOf(names, current))
        checkRadio(popup, Receiver, offset(Receiver, names.size()), offset(Receiver, *index));
}

} // namespace

plat::HMenu QuickRoutingMenu::ShowTrayMenu(plat::Hwnd owner, plat::Point at) {
    return show(Form::Simple, owner, at);
}

plat::HMenu QuickRoutingMenu::ShowAdvancedTrayMenu(plat::Hwnd owner, plat::Point at) {
    return show(Form::Advanced, owner, at);
}

plat::HMenu QuickRoutingMenu::show(Form form, plat::Hwnd owner, plat::Point at) {
    const char16_t* const name = form == Form::Advanced
                                     ? u"CKTRSystemTrayApplicationDlg::ShowAdvancedTrayMenu"
                                     : u"CKTRSystemTrayApplicationDlg::ShowTrayMenu";
    traceEntry(name);
    PcInfo& pc = *globals().pcInfo;
    plat::UserInterface& ui = plat::ui();
    DongleVendorCommunication* const link = currentVendorLink();

    // What the transmitter reports in return arrives later on the reader thread.
    if (link)
        link->sendMenuOpening();

    plat::StringArray devices;
    pc.getPlaybackDeviceList(devices);
    const plat::String currentDefault = pc.getPlaybackDevice(systemDefaultTarget);

    const plat::HMenu menu = ui.loadMenu(fw::resourceModule(), IDR_TRAYMENU);
    const plat::HMenu popup = menu ? ui.getSubMenu(menu, 0) : 0;
    if (!popup) {
        if (menu)
            ui.destroyMenu(menu);
        traceExit(name);
        return 0;
    }

    if (form == Form::Advanced) {
        addAdvancedItems(popup, devices, currentDefault);
        addPairedDevices(popup, link, true);
    } else {
        addSimpleItems(popup, devices, currentDefault);
        // The receiver is checked only while the computer's sound goes to the transmitter.
        addPairedDevices(popup, link, isTransmitterDevice(currentDefault));
    }

    // A menu opened from a notification icon closes on a click elsewhere only when its owner
    // is the foreground window while it tracks (and gets a message once it returns, which the
    // port posts).
    plat::desktop().setForegroundWindow(owner);
    ui.setMenuDefaultItem(popup, IDM_SETTINGS, false);
    ui.trackPopupMenu(popup, TPM_RIGHTBUTTON, at, owner);
    // The chosen command is waiting in the owner's queue; the menu and its submenus go.
    ui.destroyMenu(menu);
    traceExit(name);
    return popup;
}

// The commands of the deep-integration players' output items all arrive at one handler; the
// player is the id's range, and each range traces under its own handler's name.
void QuickRoutingMenu::OnPlayerOutput(plat::Hwnd owner, std::uint32_t id) {
    static constexpr const char16_t* kTraceNames[MaxPlayers] = {
        u"CKTRSystemTrayApplicationDlg::OnRadioFirst", u"CKTRSystemTrayApplicationDlg::OnRadioSecond",
        u"CKTRSystemTrayApplicationDlg::OnRadioThird", u"CKTRSystemTrayApplicationDlg::OnRadioFourth"};
    const std::size_t player = (id - FirstPlayer) / PlayerStride;
    if (id < FirstPlayer || player >= MaxPlayers)
        return;
    const char16_t* const traceName = kTraceNames[player];
    traceEntry(traceName);
    PcInfo& pc = *globals().pcInfo;
    plat::StringArray players, devices;
    pc.getDeepIntegrationPlayerlist(players);
    pc.getPlaybackDeviceList(devices);

    const std::uint32_t base = offset(FirstPlayer, player * PlayerStride);
    // Index n is the player's "Default Audio Device"; past it, or a player that has gone,
    // the item points at nothing.
    if (player >= players.size() || id < base || id - base > devices.size()) {
        traceExit(traceName);
        return;
    }
    const std::size_t i = id - base;
    const plat::String& target = players[player];
    const bool followsDefault = i == devices.size();
    const plat::String choice = followsDefault ? plat::String(followSystemDefault) : devices[i];

    // What the player uses already changes nothing: its own device, or "Default Audio Device"
    // while it follows the default (the choice "Same as all other applications" reads back as
    // the default's entry, and a player with no setting stored plays there too). A setting
    // that names a device which is not there is also shown as "Default Audio Device", but
    // choosing that item repairs it.
    const plat::String current = pc.getPlaybackDevice(target);
    const bool unchanged = followsDefault ? current == kDefaultAudioDeviceName ||
                                                current == routingkeys::kCantAccess
                                          : current == choice;
    if (unchanged) {
        traceExit(traceName);
        return;
    }

    const players::PlayerRow* row = players::findPlayer(target);
    if (row && pc.checkActive(target) == 1 &&
        players::askRestart(owner, *row) == static_cast<int>(IDNO))
        return; // "No": nothing changes, and the handler leaves without its exit trace

    // Closing and restarting a running player is part of the change.
    if (pc.setPlaybackDevice(target, choice, owner) == 0)
        pc.showFailedChange(owner);
    traceExit(traceName);
}

void QuickRoutingMenu::OnRadioOther(plat::Hwnd owner, std::uint32_t id) {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnRadioOther");
    PcInfo& pc = *globals().pcInfo;
    plat::StringArray devices;
    pc.getPlaybackDeviceList(devices);
    const std::uint32_t i = id - DefaultDevice;
    if (id >= DefaultDevice && i < devices.size() && devices[i] != pc.getPlaybackDevice(u"Default"))
        pc.setPlaybackDevice(u"Default", devices[i], owner);
    traceExit(u"CKTRSystemTrayApplicationDlg::OnRadioOther");
}

void QuickRoutingMenu::OnReceiver(plat::Hwnd owner, std::uint32_t id) {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnReceiver");
    PcInfo& pc = *globals().pcInfo;
    // The simple menu has no item for the transmitter's playback device: choosing a receiver
    // is how its user sends the computer's sound there.
    if (pc.getAdvancedMenuState() == 0 && !isTransmitterDevice(pc.getPlaybackDevice(u""))) {
        plat::StringArray devices;
        pc.getPlaybackDeviceList(devices);
        for (const plat::String& device : devices)
            if (isTransmitterDevice(device))
                pc.setPlaybackDevice(u"", device, owner);
    }

    plat::String chosen;
    if (DongleVendorCommunication* link = currentVendorLink()) {
        plat::StringArray names;
        link->getPairedList(names);
        const std::uint32_t i = id - Receiver;
        if (id >= Receiver && i < names.size()) {
            chosen = names[i];
            link->selectPairedDevice(chosen);
        }
    }
    WriteLog(u"CKTRSystemTrayApplicationDlg::OnReceiver -- Method Exit." + chosen, LogLevel::Trace);
}
