// The settings dialog: a modal property sheet with four pages at fixed indices (Devices,
// Media Players, Default Audio Device, Other Settings). Every page applies a change when the
// user makes it, so the sheet shows only Close and Help. Other threads and dialogs find it by
// its title (string 146) and post it WM_USER requests: 0 refresh the Devices page, 1 run the
// pairing wait, 2 refresh the Default Audio Device page.
#pragma once

#include "ControllerParts.h"
#include "PropertySheetDialog.h"
#include "WindowMessages.h"

#include <cstdint>

// The pages' indices, on which the help topics and the refresh requests are keyed.
namespace SettingsPageIndex {
inline constexpr int Devices = 0;
inline constexpr int MediaPlayers = 1;
inline constexpr int DefaultAudio = 2;
inline constexpr int OtherSettings = 3;
} // namespace SettingsPageIndex

class PropertySheetSettingBox : public fw::PropertySheetDialog, public SettingsSheet {
public:
    PropertySheetSettingBox(plat::String caption, plat::Hwnd parent, int startPage);

    // ---- SettingsSheet: the controller adds the pages 0..3 and removes them 3..0 after the
    // run. A page that is not a property page is not added.
    using fw::PropertySheetDialog::addPage;
    void addPage(SettingsPage& page) override;
    void removePage(int index) override;
    std::intptr_t doModal() override;

    // The help topic of a page index: the topic after the help file's name.
    static const char16_t* helpTopic(int pageIndex);

protected:
    plat::LResult DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                plat::LParam lParam) override;
    int OnInitDialog() override;
    const fw::MessageMap* messageMap() const override;

    // Help (IDHELP): the active page's topic.
    void OnPageHelp();
    // WM_HELP (F1, or "?" and a click on a control): the control's text from the popup file.
    plat::LResult OnPopupHelp(plat::WParam wParam, plat::LParam lParam);
};
