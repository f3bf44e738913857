#include "PropertyPageOtherApp.h"

#include "Application.h"
#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "RoutingKeys.h"
#include "resource.h"

#include <algorithm>

namespace {

using routingkeys::kTransmitterName;
// The name " " is no player's: setPlaybackDevice then sets the system default.
constexpr char16_t kSystemDefault[] = u" ";

// With fewer than three devices every device that is not a transmitter is "My Computer".
plat::String shownName(const plat::String& device, std::size_t deviceCount) {
    if (deviceCount < 3 && !device.starts_with(kTransmitterName))
        return fw::loadString(IDS_MY_COMPUTER);
    return device;
}

} // namespace

PropertyPageOtherApp::PropertyPageOtherApp() : fw::PropertyPage(IDD_PROPPAGE_DEFAULTAUDIO) {}

const fw::MessageMap* PropertyPageOtherApp::messageMap() const {
    using Self = PropertyPageOtherApp;
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onNotify<&Self::OnDeviceSelected>(CBN_SELCHANGE, IDC_DEFAULT_COMBO),
    };
    static const fw::MessageMap map{fw::PropertyPage::messageMap(), entries};
    return &map;
}

void PropertyPageOtherApp::DoDataExchange(bool) {
    traceEntry(u"PropertyPageOtherApp::DoDataExchange");
    deviceCombo = fw::ComboBox(window(), IDC_DEFAULT_COMBO);
    plat::desktop().setWindowText(window(), fw::loadString(IDS_PAGE_DEFAULT_AUDIO));
    PcInfo& pcInfo = *globals().pcInfo;
    plat::StringArray devices;
    pcInfo.getPlaybackDeviceList(devices);
    deviceCombo.resetContent();
    const plat::String current = pcInfo.getPlaybackDevice(plat::String());
    for (std::size_t i = 0; i < devices.size(); ++i) {
        deviceCombo.addString(shownName(devices[i], devices.size()));
        if (devices[i] == current)
            deviceCombo.setCurSel(static_cast<int>(i));
    }
    traceExit(u"PropertyPageOtherApp::DoDataExchange");
}

void PropertyPageOtherApp::OnDeviceSelected() {
    traceEntry(u"PropertyPageOtherApp::OnDeviceSelected");
    PcInfo& pcInfo = *globals().pcInfo;
    plat::StringArray devices;
    pcInfo.getPlaybackDeviceList(devices);
    const plat::String chosen = deviceCombo.itemText(deviceCombo.curSel());
    defaultDevice = pcInfo.getPlaybackDevice(fw::loadString(IDS_DEFAULT_AUDIO_DEVICE));
    // Re-selecting the entry that shows the present default changes nothing; "My Computer"
    // stands for the default as much as the device's own name does.
    const bool defaultListed =
        std::find(devices.begin(), devices.end(), defaultDevice) != devices.end();
    if (chosen.empty() || chosen == defaultDevice ||
        (defaultListed && chosen == shownName(defaultDevice, devices.size()))) {
        traceExit(u"PropertyPageOtherApp::OnDeviceSelected");
        return;
    }
    defaultDevice = chosen;
    if (chosen != fw::loadString(IDS_MY_COMPUTER)) {
        pcInfo.setPlaybackDevice(kSystemDefault, chosen, window());
    } else {
        // Every device that is not a transmitter; the last one set is left as the default.
        for (const plat::String& device : devices)
            if (!device.starts_with(kTransmitterName))
                pcInfo.setPlaybackDevice(kSystemDefault, device, window());
    }
    traceExit(u"PropertyPageOtherApp::OnDeviceSelected");
}
