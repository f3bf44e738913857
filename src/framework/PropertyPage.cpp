#include "PropertyPage.h"

#include <utility>

namespace fw {

PropertyPage::PropertyPage(int templateId) : Dialog(templateId) {}

bool PropertyPage::dialogMessage(plat::Hwnd window, std::uint32_t msg, plat::WParam wParam,
                                 plat::LParam lParam, plat::LResult& result) {
    if (msg == WM_INITDIALOG)
        justCreated_ = true;
    return Dialog::dialogMessage(window, msg, wParam, lParam, result);
}

void PropertyPage::OnSetActive() {
    if (std::exchange(justCreated_, false))
        return;
    updateData(false);
}

bool PropertyPage::OnKillActive() {
    updateData(true);
    return true;
}

bool PropertyPage::OnApply(bool) {
    return true;
}

bool PropertyPage::OnQueryCancel() {
    return true;
}

void PropertyPage::OnReset(bool) {}

void PropertyPage::OnOK() {
    Default();
}

void PropertyPage::OnCancel() {
    Default();
}

const MessageMap* PropertyPage::messageMap() const {
    static constexpr MessageMapEntry entries[] = {
        onMessage<&PropertyPage::OnNotify>(WM_NOTIFY),
    };
    static const MessageMap map{Dialog::messageMap(), entries};
    return &map;
}

plat::LResult PropertyPage::OnNotify(plat::WParam, plat::LParam lParam) {
    const auto* notice = reinterpret_cast<const plat::NotifyInfo*>(lParam);
    if (!notice) {
        Default();
        return 0;
    }
    switch (notice->code) {
    case PSN_SETACTIVE:
        OnSetActive();
        return 0; // stay on this page
    case PSN_KILLACTIVE:
        return OnKillActive() ? FALSE : TRUE;
    case PSN_APPLY:
        return OnApply(notice->lParam != 0) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
    case PSN_QUERYCANCEL:
        return OnQueryCancel() ? FALSE : TRUE;
    case PSN_RESET:
        OnReset(notice->lParam != 0);
        return 0;
    default:
        Default();
        return 0;
    }
}

} // namespace fw
