#include "QuorvaneAuravoSystemTrayApplicationDlg.h"

#include "Application.h"
#include "Debug.h"

namespace {
constexpr std::u16string_view className = u"CKTRSystemTrayApplicationDlg";
} // namespace

CKTRSystemTrayApplicationDlg::CKTRSystemTrayApplicationDlg(plat::Hwnd parent)
    : fw::Dialog(IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, parent) {
    plat::Resources& resources = plat::resources();
    appIcon = resources.loadIcon(fw::resourceModule(), IDR_MAINFRAME);
    trayIcon = resources.loadIcon(fw::resourceModule(), IDI_TRAY_NOTLINKED);
}

CKTRSystemTrayApplicationDlg::~CKTRSystemTrayApplicationDlg() = default;

const fw::MessageMap* CKTRSystemTrayApplicationDlg::messageMap() const {
    static constexpr fw::MessageMapEntry entries[] = {
        fw::onMessage<&CKTRSystemTrayApplicationDlg::OnPaint>(WM_PAINT),
        fw::onMessage<&CKTRSystemTrayApplicationDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
    };
    static const fw::MessageMap map{fw::Dialog::messageMap(), entries};
    return &map;
}

void CKTRSystemTrayApplicationDlg::DoDataExchange(bool saveAndValidate) {
    fw::Dialog::DoDataExchange(saveAndValidate);
    plat::desktop().setWindowText(window(), fw::loadString(IDS_CONTROLLER_TITLE));
}

int CKTRSystemTrayApplicationDlg::OnInitDialog() {
    traceEntry(u"CKTRSystemTrayApplicationDlg::OnInitDialog");
    fw::Dialog::OnInitDialog();

    plat::Desktop& desktop = plat::desktop();
    desktop.sendMessage(window(), WM_SETICON, ICON_BIG, static_cast<plat::LParam>(appIcon));
    desktop.sendMessage(window(), WM_SETICON, ICON_SMALL, static_cast<plat::LParam>(appIcon));

    trayMenu = 0;
    traceExit(u"CKTRSystemTrayApplicationDlg::OnInitDialog");
    return TRUE;
}

void CKTRSystemTrayApplicationDlg::OnPaint() {
    // A modal dialog is shown by its modal loop whatever its template says; every paint
    // request hides it again, so the controller is never seen.
    plat::desktop().showWindow(window(), SW_HIDE);
    Default();
}

plat::LResult CKTRSystemTrayApplicationDlg::OnQueryDragIcon() {
    return static_cast<plat::LResult>(appIcon);
}

void CKTRSystemTrayApplicationDlg::shutdown() {
    OnOK();
}

plat::LResult CKTRSystemTrayApplicationDlg::DefWindowProc(std::uint32_t msg, plat::WParam wParam,
                                                          plat::LParam lParam) {
    switch (msg) {
    case WM_QUERYENDSESSION:
        WriteLog(plat::String(className) + u"::DefWindowProc(WM_QUERYENDSESSION) -- Method Entry.",
                 LogLevel::Trace);
        return TRUE;
    case WM_ENDSESSION:
        WriteLog(plat::String(className) + u"::DefWindowProc(WM_ENDSESSION) -- Method Entry.",
                 LogLevel::Trace);
        if (wParam)
            shutdown();
        return 0;
    case WM_CLOSE:
        // From another process or the system: no confirmation, no trace.
        shutdown();
        return 0;
    default:
        return fw::Dialog::DefWindowProc(msg, wParam, lParam);
    }
}
