#include "PropertySheetDialog.h"

#include "Application.h"

#include <utility>

namespace fw {

PropertySheetDialog::PropertySheetDialog(plat::String caption, plat::Hwnd parent, int startPage)
    : Dialog(0, parent), caption_(std::move(caption)), startPage_(startPage) {}

void PropertySheetDialog::addPage(PropertyPage& page) {
    page.sheet_ = this;
    pages_.push_back(&page);
}

bool PropertySheetDialog::removePage(int index) {
    if (running_ || index < 0 || index >= pageCount())
        return false;
    pages_[static_cast<std::size_t>(index)]->sheet_ = nullptr;
    pages_.erase(pages_.begin() + index);
    return true;
}

PropertyPage* PropertySheetDialog::page(int index) const {
    return index >= 0 && index < pageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

std::intptr_t PropertySheetDialog::doModal() {
    plat::PropertySheetSpec spec;
    spec.parent = parent();
    spec.caption = caption_;
    spec.startPage = startPage_;
    spec.sheet = this;
    for (PropertyPage* p : pages_)
        spec.pages.push_back({resourceModule(), p->templateId(), p});
    running_ = true;
    const std::intptr_t result = plat::ui().propertySheet(spec);
    running_ = false;
    // The sheet and every page it made are gone once the run returns.
    for (PropertyPage* p : pages_)
        p->detachWindow();
    detachWindow();
    return result;
}

int PropertySheetDialog::activeIndex() const {
    return window() ? plat::ui().activePageIndex(window()) : -1;
}

PropertyPage* PropertySheetDialog::activePage() const {
    return page(activeIndex());
}

bool PropertySheetDialog::setActivePage(int index) {
    return plat::desktop().sendMessage(window(), PSM_SETCURSEL, static_cast<plat::WParam>(index),
                                       0) != 0;
}

bool PropertySheetDialog::refreshPage(int index) {
    PropertyPage* active = activePage();
    if (!active || activeIndex() != index)
        return false;
    active->updateData(true);
    return true;
}

void PropertySheetDialog::clickButton(int buttonId) {
    plat::desktop().sendMessage(window(), WM_COMMAND,
                                makeWParam(static_cast<std::uint32_t>(buttonId), BN_CLICKED),
                                static_cast<plat::LParam>(item(buttonId)));
}

void PropertySheetDialog::OnOK() {
    Default();
}

void PropertySheetDialog::OnCancel() {
    Default();
}

} // namespace fw
