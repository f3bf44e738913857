// The factory of the pieces the tray controller drives (their interfaces: ControllerParts.h).
// It hands out the real classes; where a class does not exist yet its default does nothing
// visible, so the program runs as it would without a transmitter. Tests install doubles with
// setCollaborators().
#pragma once

#include "ControllerParts.h"
#include "types.h"

#include <memory>

// Makes the collaborators and reaches the re-routing on transmitter arrival and removal.
// Each later piece replaces its default in Collaborators.cpp; the controller does not change.
class Collaborators {
public:
    virtual ~Collaborators() = default;

    virtual std::unique_ptr<TransmitterFinder> makeTransmitterFinder();
    // Null when the object cannot be made; every user checks.
    virtual std::unique_ptr<VendorLink> makeVendorLink(plat::Handle vendorHandle);
    virtual std::unique_ptr<KeyForwarder> makeKeyForwarder(plat::Handle consumerHandle);
    virtual std::unique_ptr<TrayMenu> makeTrayMenu();
    virtual std::unique_ptr<SettingsSheet> makeSettingsSheet(const plat::String& caption,
                                                             plat::Hwnd parent, int startPage);
    virtual std::unique_ptr<SettingsPage> makeSettingsPage(int templateId);
    virtual std::unique_ptr<AboutBox> makeAboutDialog(plat::Hwnd parent);

    // PcInfo::rerouteOnDeviceChange and PcInfo::offerRestartOnDeviceChange (players/): bring
    // the system's and the players' audio settings in line with transmitterPresent.
    virtual void rerouteOnDeviceChange();
    virtual void offerRestartOnDeviceChange();
};

// The installed collaborators, or the program's own when none are installed.
Collaborators& collaborators();
// Installs `parts` (owned by the caller; null restores the program's own). Set it before the
// controller is constructed: the controller keeps what it finds then.
void setCollaborators(Collaborators* parts);
