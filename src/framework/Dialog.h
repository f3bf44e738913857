// The one dialog base class of the framework. A backend calls dialogMessage() for every
// message the window receives, from WM_INITDIALOG on; the dialog dispatches it through its
// message map, then its built-in handlers, then DefWindowProc. Whatever none of them
// handles goes back to the backend's default dialog processing.
//
// Property pages and the property sheet derive from this class as well (PropertyPage.h,
// PropertySheetDialog.h): they share the dispatch and the data exchange and differ only in
// how the backend runs them.
//
// WM_USER and DM_GETDEFID share the number 0x0400. The dialog manager sends DM_GETDEFID on
// the dialog's own thread (when the user presses Enter, for one); the program's threads post
// their WM_USER requests and other processes may send theirs. So a 0x0400 that the dialog's
// own thread sent never reaches the message map or DefWindowProc: it gets the default
// processing, which answers with the default button.
#pragma once

#include "MessageMap.h"
#include "ports.h"

#include <cstdint>

namespace fw {

class Dialog : public plat::DialogTarget {
public:
    explicit Dialog(int templateId, plat::Hwnd parent = 0);
    ~Dialog() override;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally from its template in the resource module; the value given to
    // endDialog, or -1 when the template cannot be loaded.
    virtual std::intptr_t doModal();
    bool endDialog(std::intptr_t result);

    plat::Hwnd window() const { return window_; }
    int templateId() const { return templateId_; }
    plat::Hwnd parent() const { return parent_; }
    // The window the next run is owned by (a dialog object that outlives one run may be
    // created before its owner's window exists).
    void setParent(plat::Hwnd parent) { parent_ = parent; }
    // GetDlgItem: one of the dialog's controls, 0 when it has none with that id.
    plat::Hwnd item(int controlId) const;
    // DM_SETDEFID: Enter presses this button from now on, which also gets the default frame.
    void setDefaultButton(int controlId);

    // Runs DoDataExchange: false fills the controls from the live sources, true reads them.
    void updateData(bool saveAndValidate);

    bool dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                       plat::LParam lParam, plat::LResult& result) override;

protected:
    virtual void DoDataExchange(bool saveAndValidate);
    // Runs the data exchange into the controls. TRUE lets the system set the focus.
    virtual int OnInitDialog();
    // Reads the controls back, then ends the dialog with IDOK.
    virtual void OnOK();
    virtual void OnCancel();
    // Messages neither the map nor a built-in handler takes. This base version hands the
    // message back to the backend's default dialog processing; an override calls it for
    // messages it passes on, and its result is then the default processing's.
    virtual plat::LResult DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                        plat::LParam lParam);
    // From inside a handler: let the backend's default processing run for this message too.
    void Default();

    // This class's table, chained to the base class's: `static const MessageMap map{
    // Base::messageMap(), entries}; return &map;`.
    virtual const MessageMap* messageMap() const;

    // The window is gone (its modal run has returned).
    void detachWindow() { window_ = 0; }

private:
    int templateId_;
    plat::Hwnd parent_;
    plat::Hwnd window_ = 0;
    // Set by Default() for the message being dispatched. Dispatch nests (a handler may run
    // another modal loop that sends this dialog messages), so each dispatch keeps its own.
    bool* passToDefault_ = nullptr;
};

} // namespace fw
