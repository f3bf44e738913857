// The Default Audio Device page (index 2): the system's default playback device, the PC's
// own speakers ("My Computer") or the transmitter. A selection is applied at once through
// PcInfo::setPlaybackDevice; the sheet refills the page when audio devices come or go.
#pragma once

#include "ControllerParts.h"
#include "Controls.h"
#include "PropertyPage.h"

class PropertyPageOtherApp : public fw::PropertyPage, public SettingsPage {
public:
    PropertyPageOtherApp();

protected:
    // Fill, in both directions.
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;

    void OnDeviceSelected();

private:
    fw::ComboBox deviceCombo;
    plat::String defaultDevice; // as last read or chosen
};
