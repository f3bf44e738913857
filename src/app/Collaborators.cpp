#include "Collaborators.h"

#include "AboutDlgBox.h"
#include "ConsumerPageRead.h"
#include "DongleVendorCommunication.h"
#include "DongleVerification.h"
#include "Globals.h"
#include "PcInfo.h"
#include "PropertyPageDevice.h"
#include "PropertyPageMediaPlayer.h"
#include "PropertyPageOtherApp.h"
#include "PropertyPageOtherSetting.h"
#include "PropertySheetSettingBox.h"
#include "TrayMenu.h"
#include "resource.h"

#include <atomic>
#include <new>

namespace {

Collaborators programOwn;
std::atomic<Collaborators*> installed{nullptr};

} // namespace

std::unique_ptr<TransmitterFinder> Collaborators::makeTransmitterFinder() {
    return std::unique_ptr<TransmitterFinder>(new (std::nothrow) DongleVerification());
}

std::unique_ptr<VendorLink> Collaborators::makeVendorLink(plat::Handle vendorHandle) {
    return std::unique_ptr<VendorLink>(new (std::nothrow) DongleVendorCommunication(vendorHandle));
}

std::unique_ptr<KeyForwarder> Collaborators::makeKeyForwarder(plat::Handle consumerHandle) {
    return std::unique_ptr<KeyForwarder>(new (std::nothrow) ConsumerPageRead(consumerHandle));
}

std::unique_ptr<TrayMenu> Collaborators::makeTrayMenu() {
    return std::make_unique<QuickRoutingMenu>();
}

std::unique_ptr<SettingsSheet> Collaborators::makeSettingsSheet(const plat::String& caption,
                                                                plat::Hwnd parent, int startPage) {
    return std::make_unique<PropertySheetSettingBox>(caption, parent, startPage);
}

std::unique_ptr<SettingsPage> Collaborators::makeSettingsPage(int templateId) {
    switch (templateId) {
    case IDD_PROPPAGE_DEVICES:
        return std::make_unique<PropertyPageDevice>();
    case IDD_PROPPAGE_MEDIAPLAYERS:
        return std::make_unique<PropertyPageMediaPlayer>();
    case IDD_PROPPAGE_DEFAULTAUDIO:
        return std::make_unique<PropertyPageOtherApp>();
    case IDD_PROPPAGE_OTHERSETTINGS:
        return std::make_unique<PropertyPageOtherSetting>();
    default:
        return nullptr;
    }
}

// About has no parent: a window of its own, which the controller finds by its title.
std::unique_ptr<AboutBox> Collaborators::makeAboutDialog(plat::Hwnd) {
    return std::unique_ptr<AboutBox>(new (std::nothrow) AboutDlgBox());
}

void Collaborators::rerouteOnDeviceChange() {
    if (Globals* run = currentGlobals(); run && run->pcInfo)
        run->pcInfo->rerouteOnDeviceChange();
}

void Collaborators::offerRestartOnDeviceChange() {
    if (Globals* run = currentGlobals(); run && run->pcInfo)
        run->pcInfo->offerRestartOnDeviceChange();
}

Collaborators& collaborators() {
    Collaborators* parts = installed.load(std::memory_order_acquire);
    return parts ? *parts : programOwn;
}

void setCollaborators(Collaborators* parts) {
    installed.store(parts, std::memory_order_release);
}
