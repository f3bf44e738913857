// The simulated PC's screen as a test sees it (sim_pc.h): the controls of a modal window,
// popup menus, the notification area, and the scripted user who answers every modal.
#pragma once

#include "ports.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sim {

using plat::Hwnd;
using plat::String;

// A message as a window received it (for windows of other programs, which record them).
struct ReceivedMessage {
    std::uint32_t msg = 0;
    plat::WParam wParam = 0;
    plat::LParam lParam = 0;
};

// What the user can see of one control of an open dialog or message box.
struct ControlView {
    int id = 0;
    String className; // "Button", "Static", "Edit", "ListBox", "ComboBox"
    String text;
    bool visible = true;
    bool enabled = true;
    int checked = 0;           // check boxes and radio buttons; menu items
    std::vector<String> items; // list and combo boxes
    int selection = -1;        // list and combo boxes
    std::uint32_t style = 0;   // controls: WS_* and the class's own style bits
    bool isDefault = false;    // the default push button; the menu's default item (bold)
    bool radio = false;        // menu items: checked with a bullet (CheckMenuRadioItem)
};

enum class ModalKind { MessageBox, Dialog, PropertySheet, PopupMenu };

// One item of a popup menu as the user sees it; a submenu's items hang beneath its item.
struct MenuNode {
    String text;          // without accelerator marks; empty for a separator
    std::uint32_t id = 0; // the command of an item that is not a submenu
    bool separator = false;
    bool popup = false;  // opens the submenu `items`
    bool enabled = true; // neither grayed nor disabled
    bool checked = false;
    bool radio = false;     // the check mark is a bullet (CheckMenuRadioItem)
    bool isDefault = false; // shown in bold
    std::vector<MenuNode> items;
    bool operator==(const MenuNode&) const = default;
};

// A notification-area icon as the shell shows it.
struct TrayIconView {
    Hwnd window = 0;
    std::uint32_t id = 0;
    std::uint32_t callbackMessage = 0;
    plat::HIcon icon = 0;
    int iconResourceId = 0; // the icon resource the image was loaded from, 0 if unknown
    int iconSize = 0;       // its size in pixels when loaded as a small icon, else 0
    String tip;
};

// A modal window as the user sees it when it opens.
struct ModalView {
    ModalKind kind = ModalKind::Dialog;
    Hwnd window = 0;
    Hwnd owner = 0;
    int templateId = 0;        // dialogs; property sheets: the page shown
    String caption;            // title bar
    String text;               // message boxes: the message
    std::uint32_t style = 0;   // message boxes: the MB_* style as shown; else WS_*
    std::uint32_t exStyle = 0; // WS_EX_* after initialisation
    // Dialogs: their controls. Message boxes: the buttons. Property sheets: the tab control
    // (id 0x3020, "SysTabControl32", page titles as items), OK, Cancel, Apply (0x3021), Help,
    // then the controls of the page shown. Popup menus: one entry per item, the text being
    // its path ("Advanced>Winamp>My Computer"), className "MenuItem" (id = command) or "Popup".
    std::vector<ControlView> controls;
    // Popup menus: the whole menu as a tree, separators included.
    std::vector<MenuNode> menu;

    const ControlView* control(int id) const;
    const ControlView* button(const String& text) const; // by visible text
    std::string describe() const; // readable, for failure messages and transcripts
};

// The scripted user answers modal windows. Each modal that opens takes the first queued
// entry that matches it; a modal with no matching entry is a test failure at once (reported
// through the failure handler with what was on screen) and is dismissed, so nothing hangs.
class ModalContext; // acts on the open modal from within the script (below)

struct ScriptEntry {
    ModalKind kind = ModalKind::MessageBox;
    std::optional<String> caption; // match: exact caption, if given
    std::optional<String> text;    // match: exact text (message boxes), if given
    std::optional<int> templateId; // match: dialog template, if given
    // What the user does, on the modal's own thread, once the modal is on screen and its
    // queue is first empty: input comes after what the modal posted to itself while it
    // opened. Returning leaves the modal to the program (it must end it itself or via posted
    // messages); typical actions press a button. A modal that ends before that never meets
    // the user.
    std::function<void(ModalContext&)> act;
    // Keep it open, without running `act`, until the test acts on it with actOnTopModal().
    bool hold = false;
    std::string label; // for failure messages
};

class ModalContext {
public:
    virtual ~ModalContext() = default;
    virtual const ModalView& view() = 0;              // refreshed on each call
    virtual void pressButton(const String& text) = 0; // by visible text
    virtual void pressId(int controlId) = 0;          // WM_COMMAND BN_CLICKED, or the box's id
    virtual void setText(int controlId, const String& text) = 0;
    // With the selection-change notice. On a property sheet's tab control (0x3020) it changes
    // pages, as a click on a tab does.
    virtual void selectItem(int controlId, int index) = 0;
    virtual void selectItemByText(int controlId, const String& text) = 0;
    // A double click on a list box item: it is selected, then LBN_DBLCLK (both notices only
    // from a list box with LBS_NOTIFY).
    virtual void doubleClickItem(int controlId, int index) = 0;
    virtual void setChecked(int controlId, bool checked) = 0; // a click on a check box
    // F1 with the focus on the control, or the caption's "?" button and then a click on it:
    // WM_HELP with a HelpInfo (the control's help context id, the mouse position, the control)
    // to the control, which hands it on to its parent as DefWindowProc does.
    virtual void requestHelp(int controlId) = 0;
    virtual void pressEnter() = 0;
    virtual void pressEscape() = 0;
    virtual void chooseMenuItem(const String& path) = 0; // popup menus: "Sub>Item"
    // The item reached through these labels, one per level (for labels that contain '>').
    // Where a level has several items of that label, the first.
    virtual void chooseMenuPath(const std::vector<String>& labels) = 0;
};

} // namespace sim
