// What the tray controller's parts share: finding the program's own windows by their
// title, the window that owns the tray menus, and the trace line of a message handler.
#pragma once

#include "Dialog.h"
#include "text.h"

#include <cstdint>
#include <string_view>

// The program's windows are found by their exact title. A title that could not be loaded
// finds nothing: an empty title would match any untitled window.
plat::Hwnd findByTitle(const plat::String& title);
// The window titled with string `titleId`, or 0.
plat::Hwnd findOwnWindow(std::uint32_t titleId);

// The application's main window when it has one, else `controller`'s own.
plat::Hwnd mainWindowHandle(const fw::Dialog& controller);

// "CKTRSystemTrayApplicationDlg::DefWindowProc(<message>) -- Method Entry."
void logHandlerEntry(std::u16string_view message);
