// The About dialog (template 100): the application's version and date from the template, and
// the transmitter's firmware version and build date from what the transmitter reported.
#pragma once

#include "ControllerParts.h"
#include "Dialog.h"

#include <cstdint>
#include <string_view>

class AboutDlgBox : public fw::Dialog, public AboutBox {
public:
    // Without a parent: a window of its own, found by its title (string 135).
    explicit AboutDlgBox(plat::Hwnd parent = 0);

    std::intptr_t doModal() override { return fw::Dialog::doModal(); }

    // What control 1043 shows; until the transmitter has told its version, this text.
    plat::String firmwareLine = u"Firmware:   version not available";

protected:
    // Both directions: builds the firmware line and shows it (or reads it back), and sets
    // the title.
    void DoDataExchange(bool saveAndValidate) override;
};

// The firmware line for a version text "major.minor.build:Mon dd yyyy", laid out like the
// application line above it: `prefix` (string 151, "Firmware:\tv"), the version, a tab and
// two blanks, then the date as mm/dd/yyyy. A month not in the table is left out, so the day
// follows the version directly.
plat::String firmwareLineFor(std::u16string_view prefix, std::u16string_view version);
