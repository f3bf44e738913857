// Every message box of the program: button texts from the string table of the resource
// module, so a box follows the language of the resource library like the rest of the program.
#pragma once

#include "ports.h"

#include <cstdint>

// Attached to one message box while it is created; relabels its buttons and gives it a
// taskbar button. A Yes/No box is shown as OK/Cancel relabelled Yes/No, because the texts
// of the box's own Yes and No buttons come from the system's language, not ours.
class CMessageBox : public plat::MessageBoxHook {
public:
    void onInit(plat::Hwnd box) override { OnInitDialog(box); }

    bool yesNo = false;

protected:
    void OnInitDialog(plat::Hwnd box);
};

// MessageBoxW with the button texts of strings 157/158 (OK/Cancel) or, for MB_YESNO,
// 159/160 (Yes/No). The button pressed: IDOK, IDCANCEL, IDYES or IDNO as MessageBoxW gives.
int LocalizedMessageBox(plat::Hwnd owner, const plat::String& text, const plat::String& caption,
                        std::uint32_t style);
