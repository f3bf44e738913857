// The program's own window messages: the tray icon's callback message, and the requests each
// window of the program takes as WM_USER with the code in wParam (lParam 0). Threads and
// dialogs find the window by its title and post it the request; the window does the work on
// its own thread, as Windows programs hand work to a window.
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

// To the settings sheet (title string 146).
namespace SheetRequest {
inline constexpr std::uint32_t RefreshDevices = 0;      // the paired devices changed
inline constexpr std::uint32_t RunPairingWait = 1;      // the transmitter started pairing
inline constexpr std::uint32_t RefreshDefaultAudio = 2; // the playback devices changed
} // namespace SheetRequest

// To the Edit Media Player Settings dialog (title string 138), which takes any request as this
// one.
namespace EditPlayerRequest {
inline constexpr std::uint32_t DevicesChanged = 2; // the playback devices changed
} // namespace EditPlayerRequest

// To the pairing wait (DeviceConnect), which takes any request as this one. The naming dialog
// shares its title, and takes it as a PairingFailed request.
namespace PairingWaitRequest {
inline constexpr std::uint32_t TransmitterAnswered = 0; // a listing came, or the list was cleared
} // namespace PairingWaitRequest

// To the choosing and naming dialogs (NewDevicesDialog, NewDeviceDialog), which take any request
// as this one: pairing failed when the paired devices' pairingFailed is set.
namespace NewDeviceRequest {
inline constexpr std::uint32_t PairingFailed = 0;
} // namespace NewDeviceRequest
