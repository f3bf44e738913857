// SimMachine: what a test or the simulator sees on the simulated PC's screen and does there,
// as the user and as other programs: windows, modals, the notification area.
#include "sim_world.h"

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

std::string quotedLine(const String& text) {
    std::string out;
    for (char c : narrow(text))
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return "\"" + out + "\"";
}

String stripAccelerators(const String& text) {
    String out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

} // namespace

// ==================================================================== ModalView

const ControlView* ModalView::control(int id) const {
    for (const auto& c : controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

const ControlView* ModalView::button(const String& text) const {
    for (const auto& c : controls)
        if (c.className == u"Button" &&
            (c.text == text || stripAccelerators(c.text) == stripAccelerators(text)))
            return &c;
    return nullptr;
}

std::string ModalView::describe() const {
    std::string s;
    char buf[64];
    switch (kind) {
    case ModalKind::MessageBox:
        std::snprintf(buf, sizeof buf, " (style 0x%X)", style);
        s = "message box [" + narrow(caption) + "] " + quotedLine(text) + buf;
        break;
    case ModalKind::Dialog:
        s = "dialog " + std::to_string(templateId) + " [" + narrow(caption) + "]";
        break;
    case ModalKind::PropertySheet:
        s = "property sheet [" + narrow(caption) + "]";
        break;
    case ModalKind::PopupMenu:
        s = "popup menu";
        break;
    }
    for (const auto& c : controls) {
        s += "\n  ";
        if (kind == ModalKind::PopupMenu) {
            s += narrow(c.text);
            if (c.className == u"MenuItem")
                s += " (" + std::to_string(c.id) + ")";
            else
                s += " >";
        } else {
            s += narrow(c.className) + " " + std::to_string(c.id) + " " + quotedLine(c.text);
        }
        if (c.checked)
            s += c.checked == 1 ? " [checked]" : " [indeterminate]";
        if (!c.enabled)
            s += " [disabled]";
        if (!c.visible)
            s += " [hidden]";
        if (!c.items.empty() || c.className == u"ListBox" || c.className == u"ComboBox") {
            s += " items:";
            for (std::size_t i = 0; i < c.items.size(); ++i)
                s += (i ? ", " : " ") + quotedLine(c.items[i]);
            s += " selected " + std::to_string(c.selection);
        }
    }
    return s;
}

// ------------------------------------------------------------------ other programs

Hwnd SimMachine::createForeignWindow(const String& className, const String& title,
                                std::uint32_t processId) {
    Lock lk(impl_->m);
    Window& w = impl_->newWindow(WindowKind::Foreign, className, title);
    w.visible = true;
    w.processId = processId;
    w.threadId = processId + 1;
    impl_->deadProcesses.erase(processId);
    return w.hwnd;
}

void SimMachine::destroyWindow(Hwnd window) {
    Lock lk(impl_->m);
    impl_->destroyWindowLocked(window);
}

std::vector<ReceivedMessage> SimMachine::received(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? w->received : std::vector<ReceivedMessage>{};
}

void SimMachine::setWindowHung(Hwnd window, bool hung) {
    impl_->setHung(window, hung);
}

void SimMachine::setForeground(Hwnd window) {
    Lock lk(impl_->m);
    impl_->foreground = window;
}

void SimMachine::onForeignMessage(Hwnd window,
                             std::function<plat::LResult(const ReceivedMessage&)> handler) {
    Lock lk(impl_->m);
    if (Window* w = impl_->window(window); w && w->kind == WindowKind::Foreign)
        w->foreignHandler = std::move(handler);
}

bool SimMachine::processAlive(std::uint32_t processId) const {
    Lock lk(impl_->m);
    return impl_->processAlive(processId);
}

void SimMachine::setShellExecuteHandler(
    std::function<std::intptr_t(const String&, const String&)> handler) {
    Lock lk(impl_->m);
    impl_->shellHandler = std::move(handler);
}

// ------------------------------------------------------------------ windows and the user

Hwnd SimMachine::findWindow(const String* className, const String* title) const {
    Lock lk(impl_->m);
    return impl_->findTopLevel(className, title);
}

String SimMachine::windowText(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? w->title : String();
}

bool SimMachine::windowVisible(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w && w->visible;
}

std::uint32_t SimMachine::windowExStyle(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? w->exStyle : 0;
}

bool SimMachine::post(Hwnd window, std::uint32_t msg, plat::WParam wParam, plat::LParam lParam) {
    {
        Lock lk(impl_->m);
        const Window* w = impl_->window(window);
        if (w && w->kind != WindowKind::Foreign && impl_->programElevated &&
            !w->allowedFromLower.count(msg)) {
            impl_->journal("blocked by privilege isolation: " + messageText(msg, wParam, lParam) +
                           " to " + impl_->windowLabel(*w));
            return false;
        }
    }
    return impl_->post(window, msg, wParam, lParam, false);
}

void SimMachine::setProgramElevated(bool elevated) {
    Lock lk(impl_->m);
    impl_->programElevated = elevated;
}

std::vector<std::uint32_t> SimMachine::messagesAllowedFromLower(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? std::vector<std::uint32_t>(w->allowedFromLower.begin(), w->allowedFromLower.end())
             : std::vector<std::uint32_t>{};
}

std::vector<Hwnd> SimMachine::deviceNotificationWindows() const {
    Lock lk(impl_->m);
    std::vector<Hwnd> out;
    for (const auto& [handle, object] : impl_->objects)
        if (object.kind == ObjectKind::DeviceNotification && impl_->window(object.window) &&
            std::find(out.begin(), out.end(), object.window) == out.end())
            out.push_back(object.window);
    return out;
}

void SimMachine::sendDeviceChange(plat::WParam event, const String& interfacePath) {
    for (Hwnd hwnd : deviceNotificationWindows()) {
        auto info = std::make_shared<plat::DeviceChangeInfo>();
        info->deviceType = DBT_DEVTYP_DEVICEINTERFACE;
        info->name = interfacePath;
        const auto lParam = reinterpret_cast<plat::LParam>(info.get());
        impl_->sendAsync(hwnd, WM_DEVICECHANGE, event, std::move(info), lParam);
    }
}

std::vector<TrayIconView> SimMachine::trayIcons() const {
    Lock lk(impl_->m);
    std::vector<TrayIconView> out;
    for (const auto& icon : impl_->trayIcons) {
        TrayIconView v;
        v.window = icon.window;
        v.id = icon.id;
        v.callbackMessage = icon.callbackMessage;
        v.icon = icon.icon;
        auto id = impl_->iconIds.find(icon.icon);
        v.iconResourceId = id == impl_->iconIds.end() ? 0 : id->second;
        const auto size = impl_->iconSizes.find(icon.icon);
        v.iconSize = size == impl_->iconSizes.end() ? 0 : size->second;
        v.tip = icon.tip;
        out.push_back(v);
    }
    return out;
}

bool SimMachine::clickTrayIcon(std::uint32_t mouseMessage, plat::Point at) {
    Lock lk(impl_->m);
    if (impl_->trayIcons.empty())
        return false;
    impl_->cursor = at;
    const TrayIcon icon = impl_->trayIcons.front();
    // The shell is a process of the user's own integrity level.
    if (impl_->programElevated)
        if (const Window* w = impl_->window(icon.window);
            w && w->kind != WindowKind::Foreign &&
            !w->allowedFromLower.count(icon.callbackMessage)) {
            impl_->journal("blocked by privilege isolation: the click on the tray icon of " +
                           impl_->windowLabel(*w));
            return false;
        }
    return impl_->postLocked(lk, icon.window, icon.callbackMessage, icon.id,
                             static_cast<plat::LParam>(mouseMessage), false);
}

void SimMachine::setDpi(std::uint32_t dpi) {
    Lock lk(impl_->m);
    impl_->dpi = dpi ? dpi : 96;
}

int SimMachine::iconResourceId(plat::HIcon icon) const {
    Lock lk(impl_->m);
    auto it = impl_->iconIds.find(icon);
    return it == impl_->iconIds.end() ? 0 : it->second;
}

void SimMachine::script(ScriptEntry entry) {
    Lock lk(impl_->m);
    impl_->script.push_back(std::move(entry));
}

void SimMachine::answerMessageBox(const String& caption, std::optional<String> text,
                             const String& buttonText) {
    ScriptEntry e;
    e.kind = ModalKind::MessageBox;
    e.caption = caption;
    e.text = std::move(text);
    e.act = [buttonText](ModalContext& c) { c.pressButton(buttonText); };
    e.label = "answer \"" + narrow(caption) + "\" with " + narrow(buttonText);
    script(std::move(e));
}

std::size_t SimMachine::pendingScriptEntries() const {
    Lock lk(impl_->m);
    return impl_->script.size();
}

std::vector<ModalView> SimMachine::modalHistory() const {
    Lock lk(impl_->m);
    return impl_->history;
}

std::size_t SimMachine::modalCount() const {
    Lock lk(impl_->m);
    return impl_->history.size();
}

bool SimMachine::modalOpenedSince(std::size_t from,
                             const std::function<bool(const ModalView&)>& match) const {
    Lock lk(impl_->m);
    for (std::size_t i = from; i < impl_->history.size(); ++i)
        if (match(impl_->history[i]))
            return true;
    return false;
}

std::vector<ModalView> SimMachine::openModals() const {
    Lock lk(impl_->m);
    std::vector<ModalView> out;
    for (const ModalFrame* f : impl_->openFrames)
        out.push_back(impl_->viewOf(*f));
    return out;
}

// The user acts on the modal's own thread, as input arrives through its message loop: the
// action is queued there and the call that carries it returned. Null when no modal is open,
// or when the caller is the modal's thread and the action has already run.
std::shared_ptr<SentCall> SimMachine::queueOnTopModal(const std::function<void(ModalContext&)>& act,
                                                 const char* who) {
    Lock lk(impl_->m);
    if (impl_->openFrames.empty()) {
        impl_->fail(lk, std::string(who) + ": no modal is open\nOn screen:\n" +
                            impl_->screenLocked());
        return nullptr;
    }
    const ModalFrame* top = impl_->openFrames.back();
    const std::uint64_t serial = top->serial;
    ThreadRec* owner = top->thread;
    if (owner == impl_->current(lk)) {
        lk.unlock();
        impl_->actOn(serial, act);
        return nullptr;
    }
    auto call = std::make_shared<SentCall>();
    call->task = [this, serial, act] { impl_->actOn(serial, act); };
    owner->sends.push_back(call);
    impl_->wakeForMessages(owner);
    return call;
}

void SimMachine::postToTopModal(const std::function<void(ModalContext&)>& act) {
    queueOnTopModal(act, "postToTopModal");
}

void SimMachine::actOnTopModal(const std::function<void(ModalContext&)>& act) {
    const std::shared_ptr<SentCall> call = queueOnTopModal(act, "actOnTopModal");
    if (!call)
        return;
    Lock lk(impl_->m);
    const auto bound = impl_->settleBound * 3;
    if (!impl_->cv.wait_for(lk, bound, [&] { return call->done; })) {
        impl_->fail(lk, "actOnTopModal: the modal's thread did not take the action within " +
                            std::to_string(bound.count()) + " ms");
    }
}

std::string SimMachine::screen() const {
    Lock lk(impl_->m);
    return impl_->screenLocked();
}

} // namespace sim
