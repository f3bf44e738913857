// Ports of the platform seam (see ports.h): the user interface and the program's resources.
#pragma once

#include "constants.h"
#include "types.h"

#include <cstdint>
#include <vector>

namespace plat {

// ---------------------------------------------------------------- user interface
// The framework's object behind a dialog, a property page or a property sheet, as a backend
// sees it. Called for every message the window receives, from WM_INITDIALOG on.
class DialogTarget {
public:
    virtual ~DialogTarget() = default;
    // True when handled (`result` is the message's result); false lets the default dialog
    // processing run (Escape and WM_CLOSE become IDCANCEL, Enter the default button, ...).
    virtual bool dialogMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam,
                               LResult& result) = 0;
};

// How the message a dialog, page or sheet is handling reached it. DM_GETDEFID, which the
// dialog manager sends on the dialog's own thread when the user presses Enter, has WM_USER's
// number; the program's requests are posted (or, from another process, sent).
enum class MessageSource {
    Queue,       // posted: taken from the thread's message queue
    ThisThread,  // sent by the window's own thread (the program, or the dialog manager)
    OtherThread, // sent by another thread or process
};

// Called once while a message box is being initialised, before it is shown: it may
// change the button texts (controls IDOK, IDCANCEL, ...) and the extended style.
class MessageBoxHook {
public:
    virtual ~MessageBoxHook() = default;
    virtual void onInit(Hwnd box) = 0;
};

struct PropertyPageSpec {
    Module resources = 0;
    int templateId = 0;
    DialogTarget* target = nullptr;
};

struct PropertySheetSpec {
    Hwnd parent = 0;
    String caption;
    int startPage = 0;
    std::vector<PropertyPageSpec> pages;
    DialogTarget* sheet = nullptr; // messages of the sheet window itself
};

// The notification-area icon record (first layout: message, icon, tip of 63 characters).
struct NotifyIconData {
    Hwnd window = 0;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    HIcon icon = 0;
    String tip;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // DialogBoxParamW: runs the dialog modally on the calling thread; the EndDialog result,
    // or -1 when the template cannot be loaded.
    virtual std::intptr_t dialogBox(Module resources, int templateId, Hwnd parent,
                                    DialogTarget* target) = 0;
    // EndDialog. Never for a property sheet: it would only hide the sheet, while
    // PropertySheetW kept running.
    virtual bool endDialog(Hwnd dialog, std::intptr_t result) = 0;
    // MessageBoxW; `hook` (may be null) runs as the box initialises. The button pressed.
    virtual int messageBox(Hwnd owner, const String& text, const String& caption,
                           std::uint32_t style, MessageBoxHook* hook) = 0;
    // PropertySheetW, modal. The sheet's result, -1 on failure. It ends through the sheet's
    // own processing only: its OK and Cancel commands (PSM_PRESSBUTTON), Escape, WM_CLOSE.
    virtual std::intptr_t propertySheet(const PropertySheetSpec& spec) = 0;
    // The index of the active page of an open sheet, -1 if none (PropSheet_HwndToIndex).
    virtual int activePageIndex(Hwnd sheet) = 0;
    // Where the message that the calling thread's dialog, page or sheet is handling now came
    // from (the innermost one, when handlers nest). ThisThread outside any handler.
    virtual MessageSource currentMessageSource() = 0;

    virtual HMenu loadMenu(Module resources, int menuId) = 0;
    virtual HMenu getSubMenu(HMenu menu, int position) = 0;
    virtual HMenu createPopupMenu() = 0;
    // InsertMenuW/AppendMenuW: `item` is a command id, or the submenu with MF_POPUP.
    virtual bool insertMenu(HMenu menu, std::uint32_t position, std::uint32_t flags,
                            std::uintptr_t item, const String& text) = 0;
    virtual bool appendMenu(HMenu menu, std::uint32_t flags, std::uintptr_t item,
                            const String& text) = 0;
    virtual bool checkMenuRadioItem(HMenu menu, std::uint32_t first, std::uint32_t last,
                                    std::uint32_t check, std::uint32_t flags) = 0;
    virtual bool setMenuDefaultItem(HMenu menu, std::uint32_t item, bool byPosition) = 0;
    // TrackPopupMenu: modal until the menu closes; a chosen command is posted to `owner`,
    // then WM_NULL (so that a menu opened from a notification icon closes properly).
    virtual bool trackPopupMenu(HMenu menu, std::uint32_t flags, Point at, Hwnd owner) = 0;
    virtual bool destroyMenu(HMenu menu) = 0;

    virtual bool shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) = 0;
};

// ---------------------------------------------------------------- resources
class Resources {
public:
    virtual ~Resources() = default;
    // The resource-only library `name` (a file name) from the program's own folder, by its
    // full path and as a data file (LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE and
    // LOAD_LIBRARY_AS_IMAGE_RESOURCE): no other folder is searched and none of its code runs.
    // 0 on failure.
    virtual Module loadLibrary(const String& name) = 0;
    // The program's own module (its own resources).
    virtual Module programModule() = 0;
    // LoadStringW: false when the string does not exist.
    virtual bool loadString(Module module, std::uint32_t id, String& out) = 0;
    virtual HIcon loadIcon(Module module, int id) = 0;
    // The icon drawn at the small-icon size for the DPI of the monitor `window` is on (0: the
    // system's DPI), as the notification area shows it; not a large image scaled down. The
    // handle stays valid for the life of the process, like a shared icon's.
    virtual HIcon loadSmallIcon(Module module, int id, Hwnd window) = 0;
    virtual HBitmap loadBitmap(Module module, int id) = 0;
    // GetModuleFileNameW(NULL): the full path of the program's own file, however long;
    // empty on failure.
    virtual String programFile() = 0;
};

} // namespace plat
