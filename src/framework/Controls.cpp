#include "Controls.h"

#include <algorithm>
#include <vector>

namespace fw {

namespace {

constexpr ListMessages listBoxMessages{LB_ADDSTRING,    LB_INSERTSTRING, LB_DELETESTRING,
                                       LB_RESETCONTENT, LB_GETCOUNT,     LB_GETCURSEL,
                                       LB_SETCURSEL,    LB_GETTEXT,      LB_GETTEXTLEN,
                                       LB_GETITEMDATA,  LB_SETITEMDATA,  LB_FINDSTRINGEXACT};

constexpr ListMessages comboBoxMessages{CB_ADDSTRING,    CB_INSERTSTRING, CB_DELETESTRING,
                                        CB_RESETCONTENT, CB_GETCOUNT,     CB_GETCURSEL,
                                        CB_SETCURSEL,    CB_GETLBTEXT,    CB_GETLBTEXTLEN,
                                        CB_GETITEMDATA,  CB_SETITEMDATA,  CB_FINDSTRINGEXACT};

plat::LParam textParam(const plat::String& text) {
    return reinterpret_cast<plat::LParam>(text.c_str());
}

} // namespace

void Control::bind(plat::Hwnd dialog, int controlId) {
    id_ = controlId;
    handle_ = dialog ? plat::desktop().getDlgItem(dialog, controlId) : 0;
}

plat::String Control::text() const {
    return plat::desktop().getWindowText(handle_);
}

bool Control::setText(const plat::String& text) {
    return plat::desktop().setWindowText(handle_, text);
}

bool Control::enable(bool on) {
    return plat::desktop().enableWindow(handle_, on);
}

bool Control::isEnabled() const {
    return plat::desktop().isWindowEnabled(handle_);
}

bool Control::show(bool on) {
    return plat::desktop().showWindow(handle_, on ? SW_SHOW : SW_HIDE);
}

bool Control::isVisible() const {
    return plat::desktop().isWindowVisible(handle_);
}

plat::LResult Control::send(std::uint32_t msg, plat::WParam wParam, plat::LParam lParam) const {
    return handle_ ? plat::desktop().sendMessage(handle_, msg, wParam, lParam) : LB_ERR;
}

ItemList::ItemList(const ListMessages& messages, plat::Hwnd dialog, int controlId)
    : Control(dialog, controlId), m_(&messages) {}

int ItemList::addString(const plat::String& text) {
    return static_cast<int>(send(m_->add, 0, textParam(text)));
}

int ItemList::insertString(int index, const plat::String& text) {
    return static_cast<int>(send(m_->insert, static_cast<plat::WParam>(index), textParam(text)));
}

int ItemList::deleteString(int index) {
    return static_cast<int>(send(m_->remove, static_cast<plat::WParam>(index)));
}

void ItemList::resetContent() {
    send(m_->reset);
}

int ItemList::count() const {
    return static_cast<int>(send(m_->count));
}

int ItemList::curSel() const {
    return static_cast<int>(send(m_->getCurSel));
}

int ItemList::setCurSel(int index) {
    return static_cast<int>(send(m_->setCurSel, static_cast<plat::WParam>(index)));
}

plat::String ItemList::itemText(int index) const {
    const plat::LResult length = send(m_->getTextLen, static_cast<plat::WParam>(index));
    if (length < 0)
        return {};
    // The text message trusts the buffer to hold the whole item and its terminator.
    std::vector<char16_t> buffer(static_cast<std::size_t>(length) + 1, u'\0');
    const plat::LResult copied = send(m_->getText, static_cast<plat::WParam>(index),
                                      reinterpret_cast<plat::LParam>(buffer.data()));
    if (copied < 0)
        return {};
    return plat::String(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(copied),
                                                             static_cast<std::size_t>(length)));
}

plat::LParam ItemList::itemData(int index) const {
    return send(m_->getData, static_cast<plat::WParam>(index));
}

bool ItemList::setItemData(int index, plat::LParam data) {
    return send(m_->setData, static_cast<plat::WParam>(index), data) != LB_ERR;
}

int ItemList::findStringExact(const plat::String& text, int after) const {
    return static_cast<int>(send(m_->findExact, static_cast<plat::WParam>(after), textParam(text)));
}

ListBox::ListBox() : ItemList(listBoxMessages, 0, 0) {}
ListBox::ListBox(plat::Hwnd dialog, int controlId) : ItemList(listBoxMessages, dialog, controlId) {}

ComboBox::ComboBox() : ItemList(comboBoxMessages, 0, 0) {}
ComboBox::ComboBox(plat::Hwnd dialog, int controlId)
    : ItemList(comboBoxMessages, dialog, controlId) {}

} // namespace fw
