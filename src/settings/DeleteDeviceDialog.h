// The delete confirmation (dialog 110) of the Devices page: Yes deletes the device, No and
// Escape do nothing.
#pragma once

#include "Controls.h"
#include "Dialog.h"

class DeleteDeviceDialog : public fw::Dialog {
public:
    explicit DeleteDeviceDialog(plat::Hwnd parent);

    plat::String nameToDelete; // set by the page before the run

protected:
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;
    void OnYes();

private:
    fw::Control question;
};
