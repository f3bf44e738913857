// What the menu steps offer the other step files: the tray menu opened and used as the user
// does it.
#pragma once

#include "scenario.h"

#include <optional>
#include <string>

namespace scn {

// The popup menu open now (the innermost modal), if one is.
std::optional<sim::ModalView> openMenu(Session& s);

// The user opens the tray menu: a right click on the notification-area icon, or a left click
// and then the double-click time. The menu stays open for the steps that follow. False (and
// the step failed) when no menu opened.
bool openTrayMenu(Session& s, bool leftClick);

// Chooses the item reached through these labels, separated by " > " ("Media Player Output >
// Winamp > My Computer"), in the open menu. False (and the step failed) when it cannot.
bool chooseMenuItem(Session& s, const std::string& path);

} // namespace scn
