#include "Dialog.h"

#include "Application.h"

namespace fw {

Dialog::Dialog(int templateId, plat::Hwnd parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() = default;

std::intptr_t Dialog::doModal() {
    const std::intptr_t result = plat::ui().dialogBox(resourceModule(), templateId_, parent_, this);
    detachWindow();
    return result;
}

bool Dialog::endDialog(std::intptr_t result) {
    return plat::ui().endDialog(window_, result);
}

plat::Hwnd Dialog::item(int controlId) const {
    return plat::desktop().getDlgItem(window_, controlId);
}

void Dialog::setDefaultButton(int controlId) {
    plat::desktop().sendMessage(window_, DM_SETDEFID, static_cast<plat::WParam>(controlId), 0);
}

void Dialog::updateData(bool saveAndValidate) {
    DoDataExchange(saveAndValidate);
}

void Dialog::DoDataExchange(bool) {}

int Dialog::OnInitDialog() {
    updateData(false);
    return TRUE;
}

void Dialog::OnOK() {
    updateData(true);
    endDialog(IDOK);
}

void Dialog::OnCancel() {
    endDialog(IDCANCEL);
}

plat::LResult Dialog::DefWindowProc(std::uint32_t, plat::WParam, plat::LParam) {
    Default();
    return 0;
}

void Dialog::Default() {
    if (passToDefault_)
        *passToDefault_ = true;
}

const MessageMap* Dialog::messageMap() const {
    static constexpr MessageMapEntry entries[] = {
        onMessage<&Dialog::OnInitDialog>(WM_INITDIALOG),
        onCommand<&Dialog::OnOK>(IDOK),
        onCommand<&Dialog::OnCancel>(IDCANCEL),
    };
    static const MessageMap map{nullptr, entries};
    return &map;
}

bool Dialog::dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                           plat::LParam lParam, plat::LResult& result) {
    // The first message (WM_INITDIALOG) attaches the window, before any handler runs.
    if (!window_)
        window_ = window;
    // DM_GETDEFID, not a request (see Dialog.h).
    if (msg == WM_USER && plat::ui().currentMessageSource() == plat::MessageSource::ThisThread)
        return false;

    bool passToDefault = false;
    bool* const outer = passToDefault_;
    passToDefault_ = &passToDefault;

    const Message message{msg, wParam, lParam};
    if (const MessageMapEntry* entry = messageMap()->find(message))
        result = entry->handler(*this, message);
    else
        result = DefWindowProc(msg, wParam, lParam);

    passToDefault_ = outer;
    return !passToDefault;
}

} // namespace fw
