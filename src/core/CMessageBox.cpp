#include "CMessageBox.h"

#include "Application.h"
#include "Debug.h"
#include "resource.h"

namespace {

constexpr std::uint32_t buttonBits = 7;

// A box without the button (OK alone has no Cancel) keeps what it has.
void relabel(plat::Hwnd box, int buttonId, std::uint32_t stringId) {
    plat::Desktop& desktop = plat::desktop();
    if (const plat::Hwnd button = desktop.getDlgItem(box, buttonId))
        desktop.setWindowText(button, fw::loadString(stringId));
}

} // namespace

void CMessageBox::OnInitDialog(plat::Hwnd box) {
    traceEntry(u"CMessageBox::OnInitDialog");
    relabel(box, IDOK, yesNo ? IDS_BUTTON_YES : IDS_BUTTON_OK);
    relabel(box, IDCANCEL, yesNo ? IDS_BUTTON_NO : IDS_BUTTON_CANCEL);
    // A box of a program without a visible main window would otherwise have no taskbar
    // button and could end up hidden behind other windows.
    plat::Desktop& desktop = plat::desktop();
    desktop.setExStyle(box, desktop.getExStyle(box) | WS_EX_APPWINDOW);
    traceExit(u"CMessageBox::OnInitDialog");
}

int LocalizedMessageBox(plat::Hwnd owner, const plat::String& text, const plat::String& caption,
                        std::uint32_t style) {
    traceEntry(u"LocalizedMessageBox");
    CMessageBox hook;
    hook.yesNo = (style & buttonBits) == MB_YESNO;
    if (hook.yesNo)
        style = (style & ~std::uint32_t{6}) | MB_OKCANCEL;

    int pressed = plat::ui().messageBox(owner, text, caption, style, &hook);
    if (hook.yesNo) {
        if (pressed == static_cast<int>(IDOK))
            pressed = IDYES;
        else if (pressed == static_cast<int>(IDCANCEL))
            pressed = IDNO;
    }
    traceExit(u"LocalizedMessageBox");
    return pressed;
}
