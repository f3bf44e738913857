// The notification-area icon's record (trayIconData in Globals): the shell calls on it and its
// image. The controller shows and removes the icon; the vendor link's reader thread changes its
// image as remote devices link and unlink, through these alone.
#pragma once

#include <cstdint>

struct Globals;

// Shell_NotifyIconW(message, trayIconData) under trayIconLock; the shell's answer. For NIM_ADD,
// NIM_MODIFY and NIM_DELETE by the controller and the Other Settings page.
bool notifyTrayIcon(std::uint32_t message);

// Shows icon 115 (a remote device is linked) or 114, at the small-icon size of the DPI the
// controller has now. Called by the reader thread too.
void SetTrayIconImage(bool active);

// Loads the record's image (linked or not) again at the small-icon size for the DPI of the
// controller's monitor. The caller holds trayIconLock.
void reloadTrayIconImage(Globals& g);
