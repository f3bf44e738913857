// The Media Players page (index 1): the supported players installed on this PC, in one
// sorted list. Edit opens the Edit Media Player Settings dialog for a deep-integration
// player; a basic player follows the system default, which the page explains instead.
// Every change needs administrator rights, so Edit stays disabled for other users.
#pragma once

#include "ControllerParts.h"
#include "Controls.h"
#include "EditMediaPlayer.h"
#include "PropertyPage.h"

class PropertyPageMediaPlayer : public fw::PropertyPage, public SettingsPage {
public:
    PropertyPageMediaPlayer();

protected:
    // Fill, in both directions.
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;

    void OnSelectionChanged();
    void OnEdit();

private:
    fw::Button editButton;
    fw::ListBox playerList;
    plat::StringArray deepPlayers;
    plat::StringArray basicPlayers;
    EditMediaPlayer editDialog; // one for the page's life, a fresh window for each run
};
