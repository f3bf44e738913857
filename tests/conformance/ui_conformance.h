// The UI conformance suite: one set of test bodies, compiled into both tiers, that drives
// dialogs and property sheets made from ui_conformance.rc through the framework and the
// seam, with a user acting on them, and asserts what Windows does. Natively the tier is the
// simulated PC with its scripted user; in the Win32 tests it is the real dialog manager
// under Wine, with a user thread that posts keyboard and mouse input to the windows. A
// divergence of the simulated PC from Windows then fails a test in one tier only.
#pragma once

#include "ports.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace conformance {

using plat::String;

enum class Modal { Dialog, Sheet, MessageBox, Menu };
enum class LiveKind { Bitmap, Menu };

// One item of an open popup menu as the user sees it; a submenu's items follow their popup
// with the path as text ("Advanced>Second").
struct MenuItemView {
    String text; // without accelerator marks
    std::uint32_t id = 0;
    bool popup = false;
    bool checked = false;
    bool radio = false;     // the check mark is a bullet
    bool isDefault = false; // shown in bold
    bool enabled = true;
    bool operator==(const MenuItemView&) const = default;
};

// The user's eyes and hands on one open modal. Every action is input that the modal's own
// message loop handles; the call returns once it has (or once a modal opened by it runs).
class User {
public:
    virtual ~User() = default;
    virtual plat::Hwnd window() = 0; // the modal (0 for a popup menu)
    virtual plat::Hwnd owner() = 0;  // the window that owns it
    // Whether the push button shows the default frame (BS_DEFPUSHBUTTON).
    virtual bool isDefaultButton(int controlId) = 0;
    virtual std::vector<MenuItemView> menuItems() = 0; // an open popup menu
    virtual void pressEnter() = 0;
    virtual void pressEscape() = 0;
    // A click on a button of the modal (on a property sheet: its own or the page's).
    virtual void click(int controlId) = 0;
    virtual void clickTab(int index) = 0;                 // a property sheet's tab
    virtual void clickItem(int controlId, int index) = 0; // a list box item
    virtual void doubleClickItem(int controlId, int index) = 0;
    // Help on a control (F1 on it, or "?" and a click on it): the system sends the control
    // WM_HELP with its context help id and the mouse position.
    virtual void requestHelp(int controlId) = 0;
    // An item of an open popup menu's top level, chosen with the keyboard.
    virtual void chooseMenuItem(const String& text) = 0;
};

class Tier {
public:
    virtual ~Tier() = default;
    // The module that holds the suite's templates (the framework's resource module too).
    virtual plat::Module templates() = 0;
    // The user acts on the next modal of this kind to open, once it is on screen and has
    // handled what it posted to itself while it opened. Expected modals open in this order.
    virtual void expect(Modal kind, std::function<void(User&)> act) = 0;
    // Runs `program` as the program's user-interface thread while time passes; its result.
    // Every expected modal must have opened.
    virtual int run(std::function<int()> program) = 0;
    // A misuse that the simulated PC reports as a failure, where Windows silently goes on.
    virtual void expectMisuseReport(const std::string& what) = 0;
    // True when this tier is Wine, for the few places where Wine is known to differ from what
    // Windows documents; a test then says what Wine does instead.
    virtual bool isWine() = 0;
    // Whether a bitmap (HBITMAP) or a menu (HMENU) the program was handed still exists.
    virtual bool objectLive(LiveKind kind, std::uintptr_t handle) = 0;
};

// The tier this test program is built for.
std::unique_ptr<Tier> makeTier();

} // namespace conformance
