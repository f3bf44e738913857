// The Other Settings page (index 3): whether the tray icon is shown and whether the tray
// menu offers per-player output choices. Both take effect at once; the advanced-menu switch
// needs administrator rights. The "&DB" button is created hidden and nothing shows it.
#pragma once

#include "ControllerParts.h"
#include "Controls.h"
#include "PropertyPage.h"

class PropertyPageOtherSetting : public fw::PropertyPage, public SettingsPage {
public:
    PropertyPageOtherSetting();

protected:
    // Fill, in both directions.
    void DoDataExchange(bool saveAndValidate) override;
    int OnInitDialog() override;
    const fw::MessageMap* messageMap() const override;

    void OnTrayIconClicked();
    void OnAdvancedMenuClicked();
    void OnDatabaseDump();

private:
    fw::Button advancedMenuCheck;
    fw::Button trayIconCheck;
};
