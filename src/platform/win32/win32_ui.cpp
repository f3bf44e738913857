#include <windows.h>

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "win32_internal.h"
#include "win32_raii.h"

namespace plat::win32 {

namespace {

// The largest device-change record we believe: an interface path is far shorter.
constexpr DWORD kMaxBroadcastBytes = 64 * 1024;

// Dialog procedures return these messages' results themselves; for every other message
// Windows reads the result from DWLP_MSGRESULT.
bool returnsResultDirectly(UINT msg) {
    switch (msg) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}

DeviceChangeInfo translateDeviceChange(const DEV_BROADCAST_HDR& header) {
    DeviceChangeInfo info;
    info.deviceType = header.dbch_devicetype;
    constexpr DWORD nameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (header.dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && header.dbch_size > nameOffset) {
        const auto& record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W&>(header);
        // The name runs to the NUL or to the record's declared end, whichever comes first.
        const DWORD size = std::min(header.dbch_size, kMaxBroadcastBytes);
        info.name = fromWide(record.dbcc_name, (size - nameOffset) / sizeof(wchar_t));
    }
    return info;
}

// Hands one message to the target, with lParam in the seam's portable form where the
// seam defines one (WM_DEVICECHANGE, WM_WINDOWPOSCHANGING, WM_NOTIFY, WM_HELP).
bool forward(DialogTarget& target, HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
             LResult& result) {
    const Hwnd w = fromHwnd(window);
    if (msg == WM_DEVICECHANGE) {
        // Only events with the 0x8000 bit carry a DEV_BROADCAST_HDR (the system marshals
        // those between processes); the others have no record.
        if ((wParam & 0x8000) && lParam) {
            const auto& header = *reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            if (header.dbch_size >= sizeof(DEV_BROADCAST_HDR)) {
                DeviceChangeInfo info = translateDeviceChange(header);
                return target.dialogMessage(w, msg, wParam, reinterpret_cast<LParam>(&info),
                                            result);
            }
        }
        return target.dialogMessage(w, msg, wParam, 0, result);
    }
    if (msg == WM_WINDOWPOSCHANGING && lParam) {
        auto& position = *reinterpret_cast<WINDOWPOS*>(lParam);
        WindowPosChanging change;
        change.flags = position.flags;
        const bool handled =
            target.dialogMessage(w, msg, wParam, reinterpret_cast<LParam>(&change), result);
        position.flags = change.flags; // what the window decided, handled or passed on
        return handled;
    }
    if (msg == WM_NOTIFY && lParam) {
        const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
        NotifyInfo info;
        info.from = fromHwnd(header.hwndFrom);
        info.idFrom = header.idFrom;
        info.code = header.code;
        // Only the sheet's notifications to its pages are PSHNOTIFY records (PSN_FIRST is
        // the highest of their codes, PSN_LAST the lowest).
        if (header.code <= PSN_FIRST && header.code >= PSN_LAST)
            info.lParam = reinterpret_cast<const PSHNOTIFY&>(header).lParam;
        return target.dialogMessage(w, msg, wParam, reinterpret_cast<LParam>(&info), result);
    }
    if (msg == WM_HELP) {
        const auto* help = reinterpret_cast<const HELPINFO*>(lParam);
        if (help && help->cbSize >= sizeof(HELPINFO)) {
            HelpInfo info;
            info.contextId = static_cast<std::uint32_t>(help->dwContextId);
            info.mousePos = {help->MousePos.x, help->MousePos.y};
            // For a menu item the handle is the menu's, which is no window.
            if (help->iContextType == HELPINFO_WINDOW)
                info.item = fromHwnd(static_cast<HWND>(help->hItemHandle));
            return target.dialogMessage(w, msg, wParam, reinterpret_cast<LParam>(&info), result);
        }
        return target.dialogMessage(w, msg, wParam, 0, result);
    }
    // WM_INITDIALOG's parameter is this backend's own (the target, or the page record).
    if (msg == WM_INITDIALOG)
        lParam = 0;
    return target.dialogMessage(w, msg, wParam, lParam, result);
}

// ---------------------------------------------------------------- where a message came from
// A dialog must tell DM_GETDEFID (WM_USER's number), which the dialog manager sends on the
// dialog's own thread when the user presses Enter, from the WM_USER requests that the
// program's threads post. InSendMessage cannot: a send on the same thread is a plain call,
// and after a send from another thread it stays true through every modal loop run inside
// that message's handler. A call-window-procedure hook is told, for every message sent to
// a window of this thread, whether this thread sent it; a message no send announced was
// taken from the queue.
struct AnnouncedSend {
    HWND window = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool byThisThread = false;
    bool pending = false;
};
thread_local AnnouncedSend announcedSend;
thread_local MessageSource currentSource = MessageSource::ThisThread;
thread_local HHOOK sendHook = nullptr;
thread_local int sendHookUsers = 0;

LRESULT CALLBACK sendHookProc(int code, WPARAM byThisThread, LPARAM lParam) {
    if (code == HC_ACTION && lParam) {
        const auto& sent = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        announcedSend = {sent.hwnd,   sent.message,      sent.wParam,
                         sent.lParam, byThisThread != 0, true};
    }
    return ::CallNextHookEx(nullptr, code, byThisThread, lParam);
}

// Keeps the hook on the calling thread while a modal dialog or sheet of ours runs on it.
class SendWatch {
public:
    SendWatch() {
        if (sendHookUsers++ == 0)
            sendHook =
                ::SetWindowsHookExW(WH_CALLWNDPROC, sendHookProc, nullptr, ::GetCurrentThreadId());
    }
    ~SendWatch() {
        if (--sendHookUsers == 0 && sendHook)
            ::UnhookWindowsHookEx(std::exchange(sendHook, nullptr));
    }
    SendWatch(const SendWatch&) = delete;
    SendWatch& operator=(const SendWatch&) = delete;
};

// The announcement belongs to the first dispatch of the same message: a send reaches the
// target before anything it sends in turn. Without the hook, every message counts as
// posted, which is how the program behaved before it could tell.
MessageSource claimSource(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    AnnouncedSend& sent = announcedSend;
    if (!sent.pending || sent.window != window || sent.msg != msg || sent.wParam != wParam ||
        sent.lParam != lParam)
        return MessageSource::Queue;
    sent.pending = false;
    return sent.byThisThread ? MessageSource::ThisThread : MessageSource::OtherThread;
}

// Forwards with the message's source visible to the target for as long as it handles it.
bool forwardWithSource(DialogTarget& target, HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                       LResult& result) {
    const MessageSource outer =
        std::exchange(currentSource, claimSource(window, msg, wParam, lParam));
    const bool handled = forward(target, window, msg, wParam, lParam, result);
    currentSource = outer;
    return handled;
}

// A bitmap static of a template (About's picture) loads its image itself, and whether the
// control deletes it again is documented nowhere (Wine's does not: a GDI bitmap would be lost
// per About opened). STM_SETIMAGE hands the image back and leaves the control none, and an
// image handed back is the caller's to delete, so it is deleted exactly once, here.
void releaseStaticImages(HWND dialog) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {};
        ::GetClassNameW(child, name, static_cast<int>(std::size(name)));
        if (::lstrcmpiW(name, L"Static") != 0 ||
            (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
            continue;
        if (const auto image = reinterpret_cast<HBITMAP>(
                ::SendMessageW(child, STM_SETIMAGE, IMAGE_BITMAP, 0)))
            ::DeleteObject(image);
    }
}

INT_PTR dispatchToTarget(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* target = reinterpret_cast<DialogTarget*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    // Messages before WM_INITDIALOG (WM_SETFONT, ...) find no target yet.
    if (!target)
        return FALSE;
    LResult result = 0;
    const bool handled = forwardWithSource(*target, window, msg, wParam, lParam, result);
    // WM_DESTROY reaches a dialog before its controls go.
    if (msg == WM_DESTROY)
        releaseStaticImages(window);
    if (msg == WM_NCDESTROY)
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!handled)
        return FALSE;
    if (returnsResultDirectly(msg))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
    return TRUE;
}

INT_PTR CALLBACK dialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG)
        ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    return dispatchToTarget(window, msg, wParam, lParam);
}

// A property page receives its PROPSHEETPAGEW at WM_INITDIALOG; our target is its lParam.
INT_PTR CALLBACK pageProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        const auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, page ? page->lParam : 0);
    }
    return dispatchToTarget(window, msg, wParam, lParam);
}

// ---------------------------------------------------------------- message box hook
// MessageBoxW gives no access to its window, so a CBT hook catches the box as it is
// created and subclasses it; the hook is removed as soon as the box is seen.
struct PendingBox {
    MessageBoxHook* hook = nullptr;
    HHOOK cbt = nullptr;
    PendingBox* previous = nullptr; // a box opened from inside another box's modal loop
};
thread_local PendingBox* pendingBox = nullptr;

constexpr UINT_PTR kBoxSubclassId = 1;

LRESULT CALLBACK boxSubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR data) {
    if (msg == WM_INITDIALOG) {
        // The box's own initialisation first (it sets the standard button texts), then ours.
        const LRESULT result = ::DefSubclassProc(window, msg, wParam, lParam);
        reinterpret_cast<MessageBoxHook*>(data)->onInit(fromHwnd(window));
        return result;
    }
    if (msg == WM_NCDESTROY)
        ::RemoveWindowSubclass(window, boxSubclassProc, id);
    return ::DefSubclassProc(window, msg, wParam, lParam);
}

bool isDialogWindow(HWND window) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return std::wstring_view(name) == L"#32770";
}

LRESULT CALLBACK boxCbtProc(int code, WPARAM wParam, LPARAM lParam) {
    PendingBox* box = pendingBox;
    const LRESULT next = ::CallNextHookEx(nullptr, code, wParam, lParam);
    // Other windows (an input-method window, for instance) may be created first: wait for
    // the dialog that is the box.
    if (code == HCBT_CREATEWND && box && box->cbt &&
        isDialogWindow(reinterpret_cast<HWND>(wParam))) {
        ::SetWindowSubclass(reinterpret_cast<HWND>(wParam), boxSubclassProc, kBoxSubclassId,
                            reinterpret_cast<DWORD_PTR>(box->hook));
        ::UnhookWindowsHookEx(std::exchange(box->cbt, nullptr));
    }
    return next;
}

// ---------------------------------------------------------------- property sheet
struct PendingSheet {
    DialogTarget* target = nullptr;
    PendingSheet* previous = nullptr;
};
thread_local PendingSheet* pendingSheet = nullptr;

constexpr UINT_PTR kSheetSubclassId = 1;

LRESULT CALLBACK sheetSubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR data) {
    auto* target = reinterpret_cast<DialogTarget*>(data);
    LResult result = 0;
    // A subclass is a window procedure: a handled message's result is returned as it is.
    const bool handled = forwardWithSource(*target, window, msg, wParam, lParam, result);
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, sheetSubclassProc, id);
        return ::DefSubclassProc(window, msg, wParam, lParam);
    }
    if (handled)
        return result;
    return ::DefSubclassProc(window, msg, wParam, lParam);
}

int CALLBACK sheetCallback(HWND sheet, UINT msg, LPARAM) {
    PendingSheet* pending = pendingSheet;
    if (msg != PSCB_INITIALIZED || !pending || !pending->target)
        return 0;
    DialogTarget* target = std::exchange(pending->target, nullptr);
    ::SetWindowSubclass(sheet, sheetSubclassProc, kSheetSubclassId,
                        reinterpret_cast<DWORD_PTR>(target));
    // The sheet's own WM_INITDIALOG ran before this callback; its target sees the
    // initialisation here, after the default one, as a framework sheet would.
    LResult ignored = 0;
    forward(*target, sheet, WM_INITDIALOG, 0, 0, ignored);
    return 0;
}

} // namespace

std::intptr_t Win32UserInterface::dialogBox(Module resources, int templateId, Hwnd parent,
                                            DialogTarget* target) {
    if (!target)
        return -1;
    const SendWatch watch;
    return ::DialogBoxParamW(reinterpret_cast<HINSTANCE>(toModule(resources)),
                             MAKEINTRESOURCEW(templateId), toHwnd(parent), dialogProc,
                             reinterpret_cast<LPARAM>(target));
}

bool Win32UserInterface::endDialog(Hwnd dialog, std::intptr_t result) {
    return ::EndDialog(toHwnd(dialog), result);
}

int Win32UserInterface::messageBox(Hwnd owner, const String& text, const String& caption,
                                   std::uint32_t style, MessageBoxHook* hook) {
    if (!hook)
        return ::MessageBoxW(toHwnd(owner), wide(text).c_str(), wide(caption).c_str(), style);
    PendingBox box;
    box.hook = hook;
    box.previous = pendingBox;
    box.cbt = ::SetWindowsHookExW(WH_CBT, boxCbtProc, nullptr, ::GetCurrentThreadId());
    pendingBox = &box;
    const int pressed =
        ::MessageBoxW(toHwnd(owner), wide(text).c_str(), wide(caption).c_str(), style);
    pendingBox = box.previous;
    // The box was never created (MessageBoxW failed): the hook is still in place.
    if (box.cbt)
        ::UnhookWindowsHookEx(box.cbt);
    return pressed;
}

std::intptr_t Win32UserInterface::propertySheet(const PropertySheetSpec& setup) {
    if (setup.pages.empty())
        return -1;
    std::vector<PROPSHEETPAGEW> pages(setup.pages.size());
    for (std::size_t i = 0; i < setup.pages.size(); ++i) {
        PROPSHEETPAGEW& page = pages[i];
        page.dwSize = sizeof(page);
        // Without PSP_HASHELP/PSH_HASHELP the sheet creates no Help button (IDHELP).
        page.dwFlags = PSP_DEFAULT | PSP_HASHELP;
        page.hInstance = reinterpret_cast<HINSTANCE>(toModule(setup.pages[i].resources));
        page.pszTemplate = MAKEINTRESOURCEW(setup.pages[i].templateId);
        page.pfnDlgProc = pageProc;
        page.lParam = reinterpret_cast<LPARAM>(setup.pages[i].target);
    }
    const std::wstring caption = wide(setup.caption);
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_HASHELP;
    header.hwndParent = toHwnd(setup.parent);
    header.pszCaption = caption.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage =
        static_cast<UINT>(std::clamp<int>(setup.startPage, 0, static_cast<int>(pages.size()) - 1));
    header.ppsp = pages.data();
    header.pfnCallback = sheetCallback;

    const SendWatch watch;
    PendingSheet sheet;
    sheet.target = setup.sheet;
    sheet.previous = pendingSheet;
    pendingSheet = &sheet;
    const INT_PTR result = ::PropertySheetW(&header);
    pendingSheet = sheet.previous;
    return result;
}

int Win32UserInterface::activePageIndex(Hwnd sheet) {
    const HWND window = toHwnd(sheet);
    const HWND page = PropSheet_GetCurrentPageHwnd(window);
    if (!page)
        return -1;
    return PropSheet_HwndToIndex(window, page);
}

MessageSource Win32UserInterface::currentMessageSource() {
    return currentSource;
}

} // namespace plat::win32
