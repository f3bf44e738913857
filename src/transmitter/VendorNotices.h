// How the vendor link tells the program's windows what the transmitter did: WM_USER requests
// posted to the window concerned, found by its title (findTitled).
#pragma once

#include "types.h"

#include <cstdint>

void postRequest(plat::Hwnd window, plat::WParam code);
// A notification whose window does not exist is not sent; nothing is queued for later.
void postIfOpen(std::uint32_t titleId, plat::WParam code);
// PairingStarted with no pairing dialog open: the settings open if they are not, and they run
// the wait.
void requestPairingWait();
