// The rename dialog (dialog 108) of the Devices page: the old name and an edit box holding
// it. OK applies the device name rules; a refused name is explained and the dialog stays
// open for another try.
#pragma once

#include "Controls.h"
#include "Dialog.h"

class RenameDeviceDialog : public fw::Dialog {
public:
    explicit RenameDeviceDialog(plat::Hwnd parent);

    plat::String presentName; // set by the page before the run

protected:
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;
    void OnRenameOk();

private:
    fw::Control oldName;
    fw::Control newName;
};
