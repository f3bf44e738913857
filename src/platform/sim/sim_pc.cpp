// SimPc: the levers a test or the simulator has on the simulated PC.
#include "sim_world.h"

#include "text.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

plat::Sid ntSid(std::vector<std::uint32_t> subAuthorities) {
    plat::Sid sid;
    sid.authority[5] = 5; // SECURITY_NT_AUTHORITY
    sid.subAuthorities = std::move(subAuthorities);
    return sid;
}

std::vector<std::uint8_t> utf16Bytes(const String& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

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

// ==================================================================== SimPc

SimPc::SimPc() : impl_(std::make_unique<Impl>()) {
    // An ordinary interactive user who is a member of Administrators.
    plat::Sid everyone;
    everyone.authority[5] = 1;
    everyone.subAuthorities = {0};
    impl_->tokenGroups = {
        {everyone, 0x7},
        {administratorsSid(), 0xF},
        {usersSid(), 0x7},
        {ntSid({4}), 0x7},                   // INTERACTIVE
        {ntSid({11}), 0x7},                  // Authenticated Users
        {ntSid({5, 0, 271828}), 0xC0000007}, // the logon session
    };
}

SimPc::~SimPc() {
    endProcess();
    if (plat::current().registry == impl_->registryPort.get())
        plat::install({});
}

plat::Platform SimPc::bundle() {
    plat::Platform p;
    p.registry = impl_->registryPort.get();
    p.files = impl_->filesPort.get();
    p.folders = impl_->foldersPort.get();
    p.threads = impl_->threadsPort.get();
    p.desktop = impl_->desktopPort.get();
    p.ui = impl_->uiPort.get();
    p.resources = impl_->resourcesPort.get();
    p.hid = impl_->hidPort.get();
    p.audio = impl_->audioPort.get();
    p.coreAudio = impl_->coreAudioPort;
    p.processes = impl_->processesPort.get();
    return p;
}

void SimPc::install() {
    plat::install(bundle());
}

// ------------------------------------------------------------------ failures

void SimPc::setFailureHandler(std::function<void(const std::string&)> handler) {
    Lock lk(impl_->m);
    impl_->failureHandler = std::move(handler);
}

std::vector<std::string> SimPc::failures() const {
    Lock lk(impl_->m);
    return impl_->failures;
}

// ------------------------------------------------------------------ registry set-up

namespace {

RegKey* ensureKey(SimPc::Impl& w, plat::HKey root, const String& key) {
    RegKey* node = w.rootKey(root);
    std::vector<String> parts;
    if (!node || !splitPath(key, parts))
        return nullptr;
    for (const auto& p : parts) {
        auto& child = node->subkeys[foldCase(p)];
        if (!child) {
            child = std::make_unique<RegKey>();
            child->name = p;
        }
        node = child.get();
    }
    return node;
}

const RegKey* findKey(const SimPc::Impl& w, plat::HKey root, const String& key) {
    auto& self = const_cast<SimPc::Impl&>(w);
    std::vector<String> parts;
    if (!splitPath(key, parts))
        return nullptr;
    return self.walk(self.rootKey(root), parts);
}

} // namespace

void SimPc::setRaw(plat::HKey root, const String& key, const String& name, std::uint32_t type,
                   std::vector<std::uint8_t> bytes) {
    Lock lk(impl_->m);
    RegKey* node = ensureKey(*impl_, root, key);
    if (!node)
        return;
    RegValue& v = node->values[foldCase(name)];
    v.name = name;
    v.type = type;
    v.bytes = std::move(bytes);
}

void SimPc::setString(plat::HKey root, const String& key, const String& name, const String& value) {
    setRaw(root, key, name, REG_SZ, utf16Bytes(value));
}

void SimPc::setDword(plat::HKey root, const String& key, const String& name, std::uint32_t value) {
    setRaw(root, key, name, REG_DWORD,
           {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

void SimPc::createKey(plat::HKey root, const String& key) {
    Lock lk(impl_->m);
    ensureKey(*impl_, root, key);
}

void SimPc::deleteTree(plat::HKey root, const String& key) {
    Lock lk(impl_->m);
    std::vector<String> parts;
    if (!splitPath(key, parts) || parts.empty())
        return;
    const String last = foldCase(parts.back());
    parts.pop_back();
    if (RegKey* parent = impl_->walk(impl_->rootKey(root), parts))
        parent->subkeys.erase(last);
}

bool SimPc::keyExists(plat::HKey root, const String& key) const {
    Lock lk(impl_->m);
    return findKey(*impl_, root, key) != nullptr;
}

std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>>
SimPc::value(plat::HKey root, const String& key, const String& name) const {
    Lock lk(impl_->m);
    const RegKey* node = findKey(*impl_, root, key);
    if (!node)
        return std::nullopt;
    auto it = node->values.find(foldCase(name));
    if (it == node->values.end())
        return std::nullopt;
    return std::make_pair(it->second.type, it->second.bytes);
}

std::optional<String> SimPc::stringValue(plat::HKey root, const String& key,
                                         const String& name) const {
    const auto v = value(root, key, name);
    if (!v || (v->first != REG_SZ && v->first != win::kRegExpandSz))
        return std::nullopt;
    String text;
    const auto& bytes = v->second;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

std::optional<std::uint32_t> SimPc::dwordValue(plat::HKey root, const String& key,
                                               const String& name) const {
    const auto v = value(root, key, name);
    if (!v || v->first != REG_DWORD || v->second.size() != 4)
        return std::nullopt;
    const auto& b = v->second;
    return static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                      (static_cast<std::uint32_t>(b[3]) << 24));
}

void SimPc::setHklmWritable(bool writable) {
    Lock lk(impl_->m);
    impl_->hklmWritable = writable;
}

// ------------------------------------------------------------------ kernel objects, token

void SimPc::holdNamedMutex(const String& name) {
    Lock lk(impl_->m);
    auto& mutex = impl_->namedMutexes[name];
    if (!mutex) {
        mutex = std::make_shared<MutexObject>();
        mutex->name = name;
    }
    mutex->heldElsewhere = true;
}

void SimPc::releaseNamedMutex(const String& name) {
    Lock lk(impl_->m);
    auto it = impl_->namedMutexes.find(name);
    if (it == impl_->namedMutexes.end())
        return;
    it->second->heldElsewhere = false;
    if (it->second->handles == 0)
        impl_->namedMutexes.erase(it);
}

void SimPc::failNamedMutex(const String& name, std::uint32_t error) {
    Lock lk(impl_->m);
    impl_->mutexFailures[name] = error;
}

void SimPc::setResourceLibraryPresent(bool present) {
    Lock lk(impl_->m);
    impl_->libraryPresent = present;
}

bool SimPc::setResourceBlob(std::vector<std::uint8_t> bytes) {
    Lock lk(impl_->m);
    impl_->resourceBlob = std::move(bytes);
    impl_->customBlob = true;
    std::string error;
    impl_->resourceSet =
        res::ResourceSet::fromBytes(impl_->resourceBlob.data(), impl_->resourceBlob.size(), error);
    impl_->resourcesParsed = true;
    return impl_->resourceSet.has_value();
}

void SimPc::setTokenGroups(std::vector<plat::SidAndAttributes> groups) {
    Lock lk(impl_->m);
    impl_->tokenGroups = std::move(groups);
}

void SimPc::setTokenUnavailable(bool unavailable) {
    Lock lk(impl_->m);
    impl_->tokenUnavailable = unavailable;
}

plat::Sid SimPc::administratorsSid() {
    return ntSid({32, 544});
}
plat::Sid SimPc::usersSid() {
    return ntSid({32, 545});
}
plat::Sid SimPc::otherSid(std::uint32_t rid) {
    return ntSid({21, 1004336348, 1177238915, 682003330, rid});
}

void SimPc::setTimersFail(bool fail) {
    Lock lk(impl_->m);
    impl_->timersFail = fail;
}

void SimPc::setDevicePathSpelling(DevicePathSpelling spelling) {
    Lock lk(impl_->m);
    impl_->pathSpelling = spelling;
}

void SimPc::setDeviceNotificationFails(bool fail) {
    Lock lk(impl_->m);
    impl_->deviceNotificationFails = fail;
}

void SimPc::setCursorPos(plat::Point point) {
    Lock lk(impl_->m);
    impl_->cursor = point;
}

// ------------------------------------------------------------------ files

void SimPc::writeFile(const String& path, const std::string& bytes) {
    Lock lk(impl_->m);
    const String key = normaliseFilePath(path);
    SimFile& f = impl_->files[key];
    if (f.path.empty())
        f.path = path;
    f.bytes = bytes;
    f.unflushed = false; // written by another program long ago
}

std::optional<std::string> SimPc::fileContents(const String& path) const {
    Lock lk(impl_->m);
    auto it = impl_->files.find(normaliseFilePath(path));
    if (it == impl_->files.end())
        return std::nullopt;
    return it->second.bytes;
}

bool SimPc::fileExists(const String& path) const {
    Lock lk(impl_->m);
    return impl_->files.count(normaliseFilePath(path)) != 0;
}

void SimPc::createFolder(const String& path) {
    Lock lk(impl_->m);
    String key = normaliseFilePath(path);
    while (!key.empty() && key.back() == u'\\')
        key.pop_back();
    while (!key.empty()) {
        impl_->folders.insert(key);
        const auto slash = key.find_last_of(u'\\');
        key = slash == String::npos ? String() : key.substr(0, slash);
    }
}

std::vector<String> SimPc::folderFiles(const String& folder) const {
    Lock lk(impl_->m);
    String prefix = normaliseFilePath(folder);
    while (!prefix.empty() && prefix.back() == u'\\')
        prefix.pop_back();
    prefix += u'\\';
    std::vector<String> out;
    for (auto it = impl_->files.lower_bound(prefix);
         it != impl_->files.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        if (it->first.find(u'\\', prefix.size()) == String::npos)
            out.push_back(it->second.path);
    return out;
}

void SimPc::setFileFault(FileFault fault) {
    Lock lk(impl_->m);
    impl_->fileFaults.clear();
    impl_->readFaultsLeft = -1;
    if (fault != FileFault::None)
        impl_->fileFaults.insert(fault);
}

void SimPc::addFileFault(FileFault fault) {
    Lock lk(impl_->m);
    if (fault != FileFault::None)
        impl_->fileFaults.insert(fault);
}

void SimPc::spareReads(int opens) {
    Lock lk(impl_->m);
    impl_->sparedReads = std::max(opens, 0);
}

void SimPc::limitReadFaults(int opens) {
    Lock lk(impl_->m);
    impl_->readFaultsLeft = opens;
}

// ------------------------------------------------------------------ other programs

Hwnd SimPc::createForeignWindow(const String& className, const String& title,
                                std::uint32_t processId) {
    Lock lk(impl_->m);
    Window& w = impl_->newWindow(WindowKind::Foreign, className, title);
    w.visible = true;
    w.processId = processId;
    w.threadId = processId + 1;
    impl_->deadProcesses.erase(processId);
    return w.hwnd;
}

void SimPc::destroyWindow(Hwnd window) {
    Lock lk(impl_->m);
    impl_->destroyWindowLocked(window);
}

std::vector<ReceivedMessage> SimPc::received(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? w->received : std::vector<ReceivedMessage>{};
}

void SimPc::setWindowHung(Hwnd window, bool hung) {
    impl_->setHung(window, hung);
}

void SimPc::setForeground(Hwnd window) {
    Lock lk(impl_->m);
    impl_->foreground = window;
}

void SimPc::onForeignMessage(Hwnd window,
                             std::function<plat::LResult(const ReceivedMessage&)> handler) {
    Lock lk(impl_->m);
    if (Window* w = impl_->window(window); w && w->kind == WindowKind::Foreign)
        w->foreignHandler = std::move(handler);
}

bool SimPc::processAlive(std::uint32_t processId) const {
    Lock lk(impl_->m);
    return impl_->processAlive(processId);
}

void SimPc::setShellExecuteHandler(
    std::function<std::intptr_t(const String&, const String&)> handler) {
    Lock lk(impl_->m);
    impl_->shellHandler = std::move(handler);
}

// ------------------------------------------------------------------ the program

void SimPc::startProgram(std::function<int()> entry) {
    {
        Lock lk(impl_->m);
        if (impl_->mainThread && !impl_->mainThread->ended) {
            impl_->fail(lk, "simulated PC: startProgram while the program still runs");
            return;
        }
    }
    // A new process: what the previous run left behind must be gone first.
    bool previousRun = false;
    {
        Lock lk(impl_->m);
        previousRun = impl_->mainThread != nullptr;
    }
    if (previousRun) {
        impl_->joinAll(impl_->settleBound);
        Lock lk(impl_->m);
        impl_->ending = false;
        impl_->exitCode.reset();
    }
    impl_->startThread(
        [this, entry = std::move(entry)] {
            const int code = entry();
            Lock lk(impl_->m);
            impl_->exitCode = code;
            impl_->journal("program ended: " + std::to_string(code));
        },
        ThreadKind::Main, "main thread");
}

bool SimPc::programRunning() const {
    Lock lk(impl_->m);
    return impl_->mainThread && !impl_->mainThread->ended;
}

std::optional<int> SimPc::waitForExit(std::chrono::milliseconds bound) {
    Lock lk(impl_->m);
    if (!impl_->mainThread)
        return std::nullopt;
    if (!impl_->cv.wait_for(lk, bound, [&] { return impl_->mainThread->ended; })) {
        impl_->fail(lk, "simulated PC: the program did not end within " +
                            std::to_string(bound.count()) + " ms\nOn screen:\n" +
                            impl_->screenLocked());
        return std::nullopt;
    }
    return impl_->exitCode;
}

void SimPc::endProcess(std::chrono::milliseconds bound) {
    {
        Lock lk(impl_->m);
        ThreadRec* self = impl_->current(lk);
        if (self->kind != ThreadKind::External) {
            impl_->fail(lk, "simulated PC: endProcess called from a thread of the program");
            return;
        }
    }
    impl_->joinAll(bound);
}

bool SimPc::waitIdle(std::chrono::milliseconds bound) {
    Lock lk(impl_->m);
    const auto idle = [&] { return impl_->driver == nullptr && impl_->quiet(nullptr); };
    if (impl_->cv.wait_for(lk, bound, idle))
        return true;
    impl_->fail(lk, "simulated PC: not idle after " + std::to_string(bound.count()) +
                        " ms; still running: " + impl_->busyThreads(nullptr) + "\nOn screen:\n" +
                        impl_->screenLocked());
    return false;
}

// ------------------------------------------------------------------ virtual time

std::uint64_t SimPc::nowMs() const {
    Lock lk(impl_->m);
    return impl_->now;
}

std::int64_t SimPc::unixTime() const {
    return kStartUnixTime + static_cast<std::int64_t>(nowMs() / 1000);
}

void SimPc::advance(std::uint32_t ms) {
    Lock lk(impl_->m);
    ThreadRec* self = impl_->current(lk);
    const std::uint64_t target = impl_->now + ms;
    // One driver at a time: a sleeping user-interface thread may be moving the clock now.
    const auto limit = std::chrono::steady_clock::now() + impl_->settleBound * 6;
    while (impl_->driver && !impl_->ending) {
        if (impl_->cv.wait_until(lk, limit) == std::cv_status::timeout && impl_->driver) {
            impl_->fail(lk, "simulated PC: advance: the clock stayed busy with " +
                                impl_->driver->label);
            return;
        }
    }
    impl_->driveTo(lk, self, target, nullptr);
    impl_->waitQuiet(lk, self, impl_->settleBound, "after advancing the clock");
}

void SimPc::setAutoAdvance(bool on) {
    Lock lk(impl_->m);
    impl_->autoAdvance = on;
    // A user-interface thread asleep now may move the clock itself from here on.
    for (const auto& t : impl_->threads)
        if (t->blocked && t->blockKind == BlockKind::Sleep && impl_->drivesClock(t.get()))
            impl_->wake(t.get(), WakeReason::Woken);
}

void SimPc::setSettleBound(std::chrono::milliseconds bound) {
    Lock lk(impl_->m);
    impl_->settleBound = bound;
}

// ------------------------------------------------------------------ windows and the user

Hwnd SimPc::findWindow(const String* className, const String* title) const {
    Lock lk(impl_->m);
    return impl_->findTopLevel(className, title);
}

String SimPc::windowText(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? w->title : String();
}

bool SimPc::windowVisible(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w && w->visible;
}

std::uint32_t SimPc::windowExStyle(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? w->exStyle : 0;
}

bool SimPc::post(Hwnd window, std::uint32_t msg, plat::WParam wParam, plat::LParam lParam) {
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

void SimPc::setProgramElevated(bool elevated) {
    Lock lk(impl_->m);
    impl_->programElevated = elevated;
}

std::vector<std::uint32_t> SimPc::messagesAllowedFromLower(Hwnd window) const {
    Lock lk(impl_->m);
    const Window* w = impl_->window(window);
    return w ? std::vector<std::uint32_t>(w->allowedFromLower.begin(), w->allowedFromLower.end())
             : std::vector<std::uint32_t>{};
}

std::vector<Hwnd> SimPc::deviceNotificationWindows() const {
    Lock lk(impl_->m);
    std::vector<Hwnd> out;
    for (const auto& [handle, object] : impl_->objects)
        if (object.kind == ObjectKind::DeviceNotification && impl_->window(object.window) &&
            std::find(out.begin(), out.end(), object.window) == out.end())
            out.push_back(object.window);
    return out;
}

void SimPc::sendDeviceChange(plat::WParam event, const String& interfacePath) {
    for (Hwnd hwnd : deviceNotificationWindows()) {
        auto info = std::make_shared<plat::DeviceChangeInfo>();
        info->deviceType = DBT_DEVTYP_DEVICEINTERFACE;
        info->name = interfacePath;
        const auto lParam = reinterpret_cast<plat::LParam>(info.get());
        impl_->sendAsync(hwnd, WM_DEVICECHANGE, event, std::move(info), lParam);
    }
}

std::vector<TrayIconView> SimPc::trayIcons() const {
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

bool SimPc::clickTrayIcon(std::uint32_t mouseMessage, plat::Point at) {
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

void SimPc::setDpi(std::uint32_t dpi) {
    Lock lk(impl_->m);
    impl_->dpi = dpi ? dpi : 96;
}

int SimPc::iconResourceId(plat::HIcon icon) const {
    Lock lk(impl_->m);
    auto it = impl_->iconIds.find(icon);
    return it == impl_->iconIds.end() ? 0 : it->second;
}

void SimPc::script(ScriptEntry entry) {
    Lock lk(impl_->m);
    impl_->script.push_back(std::move(entry));
}

void SimPc::answerMessageBox(const String& caption, std::optional<String> text,
                             const String& buttonText) {
    ScriptEntry e;
    e.kind = ModalKind::MessageBox;
    e.caption = caption;
    e.text = std::move(text);
    e.act = [buttonText](ModalContext& c) { c.pressButton(buttonText); };
    e.label = "answer \"" + narrow(caption) + "\" with " + narrow(buttonText);
    script(std::move(e));
}

std::size_t SimPc::pendingScriptEntries() const {
    Lock lk(impl_->m);
    return impl_->script.size();
}

std::vector<ModalView> SimPc::modalHistory() const {
    Lock lk(impl_->m);
    return impl_->history;
}

std::size_t SimPc::modalCount() const {
    Lock lk(impl_->m);
    return impl_->history.size();
}

bool SimPc::modalOpenedSince(std::size_t from,
                             const std::function<bool(const ModalView&)>& match) const {
    Lock lk(impl_->m);
    for (std::size_t i = from; i < impl_->history.size(); ++i)
        if (match(impl_->history[i]))
            return true;
    return false;
}

std::vector<ModalView> SimPc::openModals() const {
    Lock lk(impl_->m);
    std::vector<ModalView> out;
    for (const ModalFrame* f : impl_->openFrames)
        out.push_back(impl_->viewOf(*f));
    return out;
}

// The user acts on the modal's own thread, as input arrives through its message loop: the
// action is queued there and the call that carries it returned. Null when no modal is open,
// or when the caller is the modal's thread and the action has already run.
std::shared_ptr<SentCall> SimPc::queueOnTopModal(const std::function<void(ModalContext&)>& act,
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

void SimPc::postToTopModal(const std::function<void(ModalContext&)>& act) {
    queueOnTopModal(act, "postToTopModal");
}

void SimPc::actOnTopModal(const std::function<void(ModalContext&)>& act) {
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

std::string SimPc::screen() const {
    Lock lk(impl_->m);
    return impl_->screenLocked();
}

// ------------------------------------------------------------------ journal

std::vector<std::string> SimPc::takeJournal() {
    Lock lk(impl_->m);
    std::vector<std::string> out(impl_->journalLines.begin() +
                                     static_cast<std::ptrdiff_t>(impl_->journalTaken),
                                 impl_->journalLines.end());
    impl_->journalTaken = impl_->journalLines.size();
    return out;
}

std::vector<std::string> SimPc::journal() const {
    Lock lk(impl_->m);
    return impl_->journalLines;
}

} // namespace sim
