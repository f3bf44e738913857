// A page of a property sheet: a child dialog made from its template when the sheet first
// shows it. Its data exchange runs when the page is created (OnInitDialog), each time it
// becomes the active page again (PSN_SETACTIVE), each time it stops being the active page
// (PSN_KILLACTIVE), and whenever its sheet asks for a refresh (updateData), so what it shows
// is never older than its last activation or refresh.
#pragma once

#include "Dialog.h"

namespace fw {

class PropertySheetDialog;

class PropertyPage : public Dialog {
public:
    explicit PropertyPage(int templateId);

    // The sheet the page was added to; null until then.
    PropertySheetDialog* sheet() const { return sheet_; }

    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult& result) override;

protected:
    // PSN_SETACTIVE, sent while the page is still hidden. Refills the controls, except at the
    // activation that follows the page's creation (its initialisation has just filled them).
    virtual void OnSetActive();
    // PSN_KILLACTIVE: runs the data exchange; true lets the page go.
    virtual bool OnKillActive();
    // PSN_APPLY (`closing`: the sheet's OK ends it); true when the page's data is valid.
    virtual bool OnApply(bool closing);
    // PSN_QUERYCANCEL: true lets the sheet be cancelled.
    virtual bool OnQueryCancel();
    // PSN_RESET: the sheet was cancelled (`closeBox`: by its close box or WM_CLOSE).
    virtual void OnReset(bool closeBox);

    // A page never ends a modal run: OK and Cancel belong to the sheet.
    void OnOK() override;
    void OnCancel() override;

    const MessageMap* messageMap() const override;

private:
    friend class PropertySheetDialog;

    plat::LResult OnNotify(plat::WParam wParam, plat::LParam lParam);

    PropertySheetDialog* sheet_ = nullptr;
    bool justCreated_ = false;
};

} // namespace fw
