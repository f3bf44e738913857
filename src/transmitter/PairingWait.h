// The pairing-wait run: the "New Auravo Device" dialog that waits for the transmitter to pair
// a new remote device. The vendor link's startPairing (the Devices page's Add Device) and the
// settings sheet (when the transmitter's own Connect button started pairing) both run it.
#pragma once

#include "types.h"

#include <cstdint>

// Creates the pairing-wait dialog (DeviceConnect) without a parent, registers it as the open
// pairing wait and starts its time-out, runs it, tells the user of its outcome in message
// boxes owned by `boxOwner` ("Unable to create dialog" with 0x2010; "No new device found"
// with `timeoutStyle`), and releases it. The dialog's result: -1 when it could not be created,
// IDCANCEL when the wait timed out, else IDOK. When a pairing dialog is open already, that
// one comes to the foreground instead and the result is IDOK.
std::intptr_t runPairingWait(plat::Hwnd boxOwner, std::uint32_t timeoutStyle);

// A pairing dialog of the program that is open now (the wait, the choosing or the naming
// dialog), brought to the foreground; 0 when none is open.
plat::Hwnd bringPairingDialogForward();
