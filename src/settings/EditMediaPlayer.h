// The Edit Media Player Settings dialog (dialog 109): where one deep-integration player's
// sound goes. OK routes it through PcInfo::setPlaybackDevice, asking first whether a running
// player may be restarted. A WM_USER request (the audio-device thread's, when devices come
// or go) refills the device list and keeps the user's pending choice: the same device
// wherever it now stands, or "Default Audio Device" once that device has gone.
#pragma once

#include "Controls.h"
#include "Dialog.h"

class EditMediaPlayer : public fw::Dialog {
public:
    EditMediaPlayer();

    plat::String playerName; // set by the page before each run

    // What "My Computer" stands for: the first playback device, or the second when the
    // first is exactly "Quorvane Auravo". False when there is no such device.
    static bool resolveMyComputer(const plat::StringArray& devices, plat::String& device);

protected:
    void DoDataExchange(bool saveAndValidate) override;
    plat::LResult DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                plat::LParam lParam) override;
    const fw::MessageMap* messageMap() const override;
    void OnEditOk();

private:
    fw::ComboBox outputCombo;
    fw::Control playerStatic;
    plat::String initialOutput; // the output as first shown in this run
    // The device each entry after "Default Audio Device" stands for, as last filled.
    plat::StringArray entryDevices;
};
