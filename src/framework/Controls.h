// A dialog's controls, bound by id: thin wrappers over the seam's window messages, so that
// a page's data exchange reads as what it does ("empty the list, add the names, select the
// current one"). Each call is one message (or one seam call) with Windows' own results.
#pragma once

#include "constants.h"
#include "ports.h"

#include <cstdint>

namespace fw {

class Control {
public:
    Control() = default;
    Control(plat::Hwnd dialog, int controlId) { bind(dialog, controlId); }
    // GetDlgItem; a control the dialog lacks binds to nothing (every call then fails).
    void bind(plat::Hwnd dialog, int controlId);

    plat::Hwnd handle() const { return handle_; }
    int id() const { return id_; }

    plat::String text() const;              // GetWindowTextW
    bool setText(const plat::String& text); // SetWindowTextW
    bool enable(bool on = true);            // EnableWindow
    bool isEnabled() const;
    bool show(bool on = true); // ShowWindow with SW_SHOW or SW_HIDE
    bool isVisible() const;
    plat::LResult send(std::uint32_t msg, plat::WParam wParam = 0, plat::LParam lParam = 0) const;

private:
    plat::Hwnd handle_ = 0;
    int id_ = 0;
};

class Button : public Control {
public:
    using Control::Control;
    bool isChecked() const { return send(BM_GETCHECK) == 1; }
    void setChecked(bool checked) { send(BM_SETCHECK, checked ? 1 : 0); }
    void click() { send(BM_CLICK); } // as the user clicks it: BN_CLICKED to the dialog
};

// The messages of a list: list boxes and combo boxes share the operations under different
// numbers.
struct ListMessages {
    std::uint32_t add, insert, remove, reset, count, getCurSel, setCurSel, getText, getTextLen,
        getData, setData, findExact;
};

// Indices and counts are ints, results as Windows gives them: LB_ERR (CB_ERR) is -1.
class ItemList : public Control {
public:
    int addString(const plat::String& text); // its index (a sorted list places it)
    int insertString(int index, const plat::String& text);
    int deleteString(int index); // the count left
    void resetContent();
    int count() const;
    int curSel() const; // -1 when nothing is selected
    // -1 clears the selection. An index past the end fails: a list box keeps its selection,
    // a combo box loses it.
    int setCurSel(int index);
    plat::String itemText(int index) const; // empty for an index that is not there
    plat::LParam itemData(int index) const; // LB_ERR for an index that is not there
    bool setItemData(int index, plat::LParam data);
    // The first item after `after` (-1: from the start) equal to `text` ignoring case; -1.
    int findStringExact(const plat::String& text, int after = -1) const;

protected:
    ItemList(const ListMessages& messages, plat::Hwnd dialog, int controlId);

private:
    const ListMessages* m_;
};

class ListBox : public ItemList {
public:
    ListBox();
    ListBox(plat::Hwnd dialog, int controlId);
};

class ComboBox : public ItemList {
public:
    ComboBox();
    ComboBox(plat::Hwnd dialog, int controlId);
};

} // namespace fw
