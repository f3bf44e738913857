// The simulated PC's accounting of what it hands out. Nothing here keeps a count of its own:
// each port already keeps a record of every object it made until the matching release erases
// it (an open key until RegCloseKey, a menu until DestroyMenu, ...), and that record says
// whose it is. A snapshot reads them all, so the accounting cannot drift from what the ports
// do.
#include "sim_transmitter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>

namespace sim {

namespace {

constexpr std::array<const char*, kHandleKinds> kKindNames = {
    "registry key", "file",  "mutex",  "thread handle",       "process handle", "access token",
    "thread",       "window", "menu",  "icon",                "bitmap",         "timer",
    "device notification",   "HID handle", "COM object", "library",
};

std::string hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

std::string processName(std::uint32_t pid) {
    if (pid == SimPc::kProgramProcessId)
        return "process " + std::to_string(pid) + " (the program)";
    if (pid == kOutsideProcessId)
        return "outside any process (the test)";
    return "process " + std::to_string(pid);
}

// The names as they were created, where the key still exists.
std::string keyPath(const RegKey* node, HKey root, const std::vector<String>& path) {
    std::string s = root == plat::HKLM ? "HKLM" : "HKCU";
    for (const auto& part : path) {
        const auto it = node ? node->subkeys.find(part) : decltype(node->subkeys.end()){};
        node = node && it != node->subkeys.end() ? it->second.get() : nullptr;
        s += "\\" + narrow(node ? node->name : part);
    }
    return s;
}

} // namespace

const char* handleKindName(HandleKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < kKindNames.size() ? kKindNames[i] : "?";
}

std::optional<HandleKind> handleKindByName(std::string_view name) {
    for (std::size_t i = 0; i < kKindNames.size(); ++i)
        if (name == kKindNames[i])
            return static_cast<HandleKind>(i);
    return std::nullopt;
}

int HandleSnapshot::count(std::uint32_t processId, HandleKind kind) const {
    return static_cast<int>(std::count_if(objects.begin(), objects.end(), [&](const LiveObject& o) {
        return o.processId == processId && o.kind == kind;
    }));
}

std::vector<std::string> HandleSnapshot::describe() const {
    std::set<std::uint32_t> processes;
    for (const auto& o : objects)
        processes.insert(o.processId);
    std::vector<std::string> lines;
    // The program first, then other programs, then the test.
    std::vector<std::uint32_t> order(processes.begin(), processes.end());
    std::stable_partition(order.begin(), order.end(),
                          [](std::uint32_t p) { return p == SimPc::kProgramProcessId; });
    std::stable_partition(order.begin(), order.end(),
                          [](std::uint32_t p) { return p != kOutsideProcessId; });
    for (std::uint32_t pid : order) {
        std::string line = processName(pid) + ":";
        bool first = true;
        for (int k = 0; k < kHandleKinds; ++k) {
            const int n = count(pid, static_cast<HandleKind>(k));
            if (n == 0)
                continue;
            line += (first ? " " : ", ") + std::to_string(n) + " " +
                    handleKindName(static_cast<HandleKind>(k));
            first = false;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> handleDifferences(const HandleSnapshot& baseline,
                                           const HandleSnapshot& now, std::uint32_t processId,
                                           const std::vector<std::string>& lifetime) {
    using Key = std::pair<HandleKind, std::uint64_t>;
    auto ofProcess = [&](const HandleSnapshot& s) {
        std::map<Key, const LiveObject*> out;
        for (const auto& o : s.objects)
            if (o.processId == processId)
                out[{o.kind, o.id}] = &o;
        return out;
    };
    const auto before = ofProcess(baseline);
    const auto after = ofProcess(now);
    auto keptForLife = [&](const LiveObject& o) {
        return std::any_of(lifetime.begin(), lifetime.end(), [&](const std::string& name) {
            return !name.empty() && o.what.starts_with(name);
        });
    };
    std::vector<std::string> lines;
    for (int k = 0; k < kHandleKinds; ++k) {
        const auto kind = static_cast<HandleKind>(k);
        std::vector<const LiveObject*> came, went;
        int was = 0, is = 0;
        for (const auto& [key, o] : before)
            if (key.first == kind) {
                ++was;
                if (!after.count(key))
                    went.push_back(o);
            }
        for (const auto& [key, o] : after)
            if (key.first == kind) {
                if (!before.count(key) && keptForLife(*o))
                    continue;
                ++is;
                if (!before.count(key))
                    came.push_back(o);
            }
        if (was == is)
            continue;
        std::string line = std::string(handleKindName(kind)) + ": " + std::to_string(is) +
                           " live, " + std::to_string(was) + " at the baseline";
        constexpr std::size_t kShown = 5; // a leak repeated a thousand times shows its kind
        for (const auto* list : {&came, &went}) {
            if (list->empty())
                continue;
            line += list == &came ? "; came: " : "; went: ";
            for (std::size_t i = 0; i < list->size() && i < kShown; ++i)
                line += (i ? ", " : "") + (*list)[i]->what;
            if (list->size() > kShown)
                line += " and " + std::to_string(list->size() - kShown) + " more";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<LiveObject> SimPc::Impl::liveObjects() const {
    std::vector<LiveObject> out;
    auto add = [&](HandleKind kind, std::uint32_t pid, std::uint64_t id, std::string what) {
        out.push_back({kind, pid, id, std::move(what)});
    };
    for (const auto& [h, key] : openKeys)
        add(HandleKind::RegistryKey, key.owner, h,
            keyPath(key.root == plat::HKLM ? &hklm : &hkcu, key.root, key.path));
    for (const auto& [h, file] : openFiles) {
        auto f = files.find(file.key);
        add(HandleKind::File, file.owner, h, narrow(f != files.end() ? f->second.path : file.key));
    }
    for (const auto& [h, object] : objects) {
        switch (object.kind) {
        case ObjectKind::Mutex:
            add(HandleKind::Mutex, object.owner, h,
                object.mutex->name.empty() ? "mutex (unnamed)"
                                           : "mutex \"" + narrow(object.mutex->name) + "\"");
            break;
        case ObjectKind::Thread:
            add(HandleKind::ThreadHandle, object.owner, h,
                "handle of " + (object.thread ? object.thread->label : std::string("a thread")));
            break;
        case ObjectKind::Process:
            add(HandleKind::ProcessHandle, object.owner, h,
                "process " + std::to_string(object.processId));
            break;
        case ObjectKind::Token:
            add(HandleKind::AccessToken, object.owner, h, "access token");
            break;
        case ObjectKind::DeviceNotification: {
            const Window* w = window(object.window);
            add(HandleKind::DeviceNotification, object.owner, h,
                "device notifications for " + (w ? windowLabel(*w) : hex(object.window)));
            break;
        }
        }
    }
    for (const auto& t : threads)
        if (t->kind != ThreadKind::External && !t->ended)
            add(HandleKind::Thread, SimPc::kProgramProcessId, t->id, t->label);
    liveWindowObjects(out);
    hidLiveObjects(*this, out);
    audioLiveObjects(*this, out);
    return out;
}

// What the program holds of the window manager: windows, menus, icons, bitmaps, timers, and
// the resource library.
void SimPc::Impl::liveWindowObjects(std::vector<LiveObject>& out) const {
    auto add = [&](HandleKind kind, std::uint32_t pid, std::uint64_t id, std::string what) {
        out.push_back({kind, pid, id, std::move(what)});
    };
    for (const auto& [hwnd, w] : windows) {
        std::string what = narrow(w->className) + " \"" + narrow(w->title) + "\"";
        if (w->kind == WindowKind::Control)
            if (const Window* parent = window(w->parent))
                what += " in " + windowLabel(*parent);
        add(HandleKind::Window, w->processId, hwnd, std::move(what));
        if (w->image)
            add(HandleKind::Bitmap, w->processId, w->image,
                "bitmap " + std::to_string(w->imageId) + " of a static control in " +
                    windowLabel(*window(topLevelOf(hwnd))));
    }
    for (const auto& [h, menu] : menus)
        add(HandleKind::Menu, menu.owner, h,
            menu.resourceId ? "menu " + std::to_string(menu.resourceId) : "popup menu");
    for (const auto& [icon, id] : iconIds)
        add(HandleKind::Icon, SimPc::kProgramProcessId, icon,
            "icon " + std::to_string(id) + " (shared)");
    for (const auto& [bitmap, rec] : bitmaps)
        add(HandleKind::Bitmap, rec.second, bitmap, "bitmap " + std::to_string(rec.first));
    for (const auto& timer : timers) {
        const Window* w = window(timer.window);
        add(HandleKind::Timer, w ? w->processId : 0,
            (static_cast<std::uint64_t>(timer.window) << 32) | (timer.id & 0xFFFFFFFFu),
            "timer " + std::to_string(timer.id) + " of " +
                (w ? windowLabel(*w) : hex(timer.window)));
    }
    if (libraryLoaded)
        add(HandleKind::Library, SimPc::kProgramProcessId, kLibraryModule,
            "library KTRResource.dll");
}

HandleSnapshot SimMachine::handles() const {
    Lock lk(impl_->m);
    HandleSnapshot s;
    s.objects = impl_->liveObjects();
    s.atMs = impl_->now;
    return s;
}

} // namespace sim
