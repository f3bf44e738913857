// A modal property sheet with its pages, run through the seam's propertySheet. It ends only
// through the sheet's own processing: its OK (Close) and Cancel commands, which the pages
// hear of as PSN_KILLACTIVE and PSN_APPLY, or PSN_QUERYCANCEL and PSN_RESET; Escape;
// WM_CLOSE. Never through EndDialog: on Windows that only hides the sheet while
// PropertySheetW goes on running it, so the modal run would never return.
#pragma once

#include "Dialog.h"
#include "PropertyPage.h"

#include <vector>

namespace fw {

class PropertySheetDialog : public Dialog {
public:
    // `caption` is the sheet's title; the page at `startPage` is shown first.
    explicit PropertySheetDialog(plat::String caption, plat::Hwnd parent = 0, int startPage = 0);

    // Pages are added before the run and removed after it, in any order; the sheet does not
    // own them.
    void addPage(PropertyPage& page);
    // False for an index that is not there, or while the sheet runs.
    bool removePage(int index);
    int pageCount() const { return static_cast<int>(pages_.size()); }
    PropertyPage* page(int index) const;

    // PropertySheetW: the sheet's result, -1 when it cannot be made (no pages, a missing
    // template).
    std::intptr_t doModal() override;

    // While the sheet is open: the index of the active page (-1 if none), and that page.
    int activeIndex() const;
    PropertyPage* activePage() const;
    // PSM_SETCURSEL: makes the page at `index` active if the active one lets it go.
    bool setActivePage(int index);
    // A refresh request for the page at `index`: its data exchange runs (store direction)
    // if it is the active page; any other page refreshes itself when it next becomes active.
    // True when it ran.
    bool refreshPage(int index);
    // The sheet's own processing of its OK (IDOK) or Cancel (IDCANCEL) command, as when the
    // user clicks the button: the pages hear PSN_KILLACTIVE and PSN_APPLY, or
    // PSN_QUERYCANCEL and PSN_RESET, and the run ends unless a page holds it open. (The
    // command rather than PSM_PRESSBUTTON, which Wine ignores when a page sends it.)
    void clickButton(int buttonId);

    const plat::String& caption() const { return caption_; }

    // A sheet cannot be ended this way (see above).
    bool endDialog(std::intptr_t) = delete;

protected:
    // IDOK and IDCANCEL go on to the sheet's own processing.
    void OnOK() override;
    void OnCancel() override;

private:
    plat::String caption_;
    int startPage_;
    std::vector<PropertyPage*> pages_;
    bool running_ = false;
};

} // namespace fw
