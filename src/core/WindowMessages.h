// The program's own window messages: the tray icon's callback message, and the requests the
// controller takes as WM_USER with the code in wParam (lParam 0). Threads and dialogs find the
// window by its title and post it the request; the window does the work on its own thread, as
// Windows programs hand work to a window.
#pragma once

#include "constants.h"

#include <cstdint>

// The tray icon's callback message.
inline constexpr std::uint32_t kTrayIconMessage = WM_USER + 1; // 0x0401

// To the tray controller (title string 139).
namespace ControllerRequest {
inline constexpr std::uint32_t ListingComplete = 0; // from the reader thread
inline constexpr std::uint32_t OpenSettings = 1;    // from the reader thread
inline constexpr std::uint32_t ForwardPairing = 2;  // from the reader thread
// From the reader thread: pairing started while a pairing dialog was open.
inline constexpr std::uint32_t PairingUnderDialog = 3;
inline constexpr std::uint32_t FromOtherProcess = 20;
} // namespace ControllerRequest
