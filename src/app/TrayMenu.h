// The tray menu and its quick routing commands: the controller's ShowTrayMenu and
// ShowAdvancedTrayMenu, and the handlers of the items they generate. The menu is built afresh
// from menu 113 and the current lists each time it opens, and destroyed once it closes.
//
// Every list is copied once per build and once per handled command, never kept: the reader
// thread may change the paired devices and the audio thread the playback devices while the
// menu is open, so a command looks its index up in a fresh copy, and an index that now
// points at nothing does nothing.
#pragma once

#include "Collaborators.h"
#include "MenuIds.h"

#include <cstddef>
#include <cstdint>

class QuickRoutingMenu final : public TrayMenu {
public:
    plat::HMenu ShowTrayMenu(plat::Hwnd owner, plat::Point at) override;
    plat::HMenu ShowAdvancedTrayMenu(plat::Hwnd owner, plat::Point at) override;

    void OnPlayerOutput(plat::Hwnd owner, std::uint32_t id) override;
    void OnRadioOther(plat::Hwnd owner, std::uint32_t id) override;
    void OnReceiver(plat::Hwnd owner, std::uint32_t id) override;

private:
    enum class Form { Simple, Advanced };
    plat::HMenu show(Form form, plat::Hwnd owner, plat::Point at);
};
