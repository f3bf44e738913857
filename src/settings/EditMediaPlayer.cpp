#include "EditMediaPlayer.h"

#include "Application.h"
#include "BoxStyles.h"
#include "CMessageBox.h"
#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "RoutingKeys.h"
#include "resource.h"

#include <algorithm>
#include <optional>

using routingkeys::kTransmitterName;

EditMediaPlayer::EditMediaPlayer() : fw::Dialog(IDD_EDITMEDIAPLAYER) {}

const fw::MessageMap* EditMediaPlayer::messageMap() const {
    using Self = EditMediaPlayer;
    // OK is the default button, so Enter presses it; Cancel, Escape and WM_CLOSE end the run
    // through the base class's IDCANCEL.
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onCommand<&Self::OnEditOk>(IDC_EDIT_OK),
        fw::onCommand<&Self::OnEditOk>(IDOK),
        fw::onCommand<&Self::OnCancel>(IDC_EDIT_CANCEL),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

void EditMediaPlayer::DoDataExchange(bool) {
    traceEntry(u"EditMediaPlayer::DoDataExchange");
    outputCombo = fw::ComboBox(window(), IDC_OUTPUT_COMBO);
    playerStatic.bind(window(), IDC_PLAYER_NAME);
    // Found by this title: the audio-device thread asks it to refresh, the controller
    // closes it when the transmitter goes.
    plat::desktop().setWindowText(window(), fw::loadString(IDS_EDIT_PLAYER_TITLE));
    playerStatic.setText(playerName);

    // -1 only at the first fill of a run: a fresh window has no selection yet. A later fill
    // keeps the choice by the device it stands for, not by its place in a list that changed.
    const int pending = outputCombo.curSel();
    std::optional<plat::String> pendingDevice;
    if (pending > 0 && static_cast<std::size_t>(pending) <= entryDevices.size())
        pendingDevice = entryDevices[static_cast<std::size_t>(pending) - 1];
    PcInfo& pcInfo = *globals().pcInfo;
    const plat::String current = pcInfo.getPlaybackDevice(playerName);
    plat::StringArray devices;
    pcInfo.getPlaybackDeviceList(devices);

    outputCombo.resetContent();
    outputCombo.addString(fw::loadString(IDS_DEFAULT_AUDIO_DEVICE));
    outputCombo.setCurSel(0);
    // With fewer than three devices the PC's own card is simply "My Computer".
    const bool plain = devices.size() < 3;
    const plat::String myComputer = fw::loadString(IDS_MY_COMPUTER);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const bool transmitter = devices[i].starts_with(kTransmitterName);
        outputCombo.addString(plain && !transmitter ? myComputer : devices[i]);
        if (devices[i] == current)
            outputCombo.setCurSel(static_cast<int>(i) + 1);
    }

    entryDevices = devices;

    if (pending == -1) {
        initialOutput = outputCombo.itemText(outputCombo.curSel());
    } else {
        const auto at =
            pendingDevice ? std::find(devices.begin(), devices.end(), *pendingDevice) : devices.end();
        outputCombo.setCurSel(at == devices.end() ? 0 : static_cast<int>(at - devices.begin()) + 1);
    }
    traceExit(u"EditMediaPlayer::DoDataExchange");
}

plat::LResult EditMediaPlayer::DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                             plat::LParam lParam) {
    // Any request: the devices have changed.
    if (msg == WM_USER)
        updateData(true);
    return fw::Dialog::DefWindowProc(msg, wParam, lParam);
}

bool EditMediaPlayer::resolveMyComputer(const plat::StringArray& devices, plat::String& device) {
    const std::size_t index = !devices.empty() && devices[0] == kTransmitterName ? 1 : 0;
    if (index >= devices.size())
        return false;
    device = devices[index];
    return true;
}

void EditMediaPlayer::OnEditOk() {
    traceEntry(u"EditMediaPlayer::OnEditOk");
    const plat::String player = playerStatic.text();
    plat::String output = outputCombo.itemText(outputCombo.curSel());
    if (output == initialOutput) {
        endDialog(IDOK);
        traceExit(u"EditMediaPlayer::OnEditOk");
        return;
    }
    PcInfo& pcInfo = *globals().pcInfo;
    const bool myComputer = output == fw::loadString(IDS_MY_COMPUTER);
    plat::StringArray devices;
    plat::String device;
    // With no device left besides the transmitter there is nothing to route to: nothing is
    // asked or changed, and the dialog stays open for another choice.
    if (myComputer) {
        pcInfo.getPlaybackDeviceList(devices);
        if (!resolveMyComputer(devices, device)) {
            traceExit(u"EditMediaPlayer::OnEditOk", u"No Device");
            return;
        }
    }
    if (pcInfo.checkActive(player) == 1 &&
        LocalizedMessageBox(window(),
                            FormatPlaceholders(1, fw::loadString(IDS_RESTART_TEXT), player),
                            fw::loadString(IDS_RESTART_CAPTION), BoxStyle::Question) == IDNO) {
        traceExit(u"EditMediaPlayer::OnEditOk");
        return;
    }
    if (myComputer) {
        // The devices may have changed while the question was open.
        pcInfo.getPlaybackDeviceList(devices);
        if (!resolveMyComputer(devices, device)) {
            traceExit(u"EditMediaPlayer::OnEditOk", u"No Device");
            return;
        }
        output = device;
    }
    if (pcInfo.setPlaybackDevice(player, output, window()) == 0)
        pcInfo.showFailedChange(window());
    endDialog(IDOK);
    traceExit(u"EditMediaPlayer::OnEditOk");
}
