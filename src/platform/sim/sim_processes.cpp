// The Processes port: other programs' processes (opened and terminated through their
// windows), the user's access token, ShellExecuteW and HTML Help.
#include "sim_world.h"

#include <algorithm>
#include <cstdio>

namespace sim {

// Another program's process lives as long as it has a window (that is all the simulated PC
// knows of it); the program's own process lives until the process ends.
bool SimPc::Impl::processAlive(std::uint32_t pid) const {
    if (deadProcesses.count(pid))
        return false;
    if (pid == SimPc::kProgramProcessId)
        return !ending;
    for (const auto& [hwnd, w] : windows)
        if (w->kind == WindowKind::Foreign && w->processId == pid)
            return true;
    return false;
}

namespace {

// GetTokenInformation(TokenGroups) on 64-bit Windows: the count (padded to 8 bytes), one
// 16-byte SID_AND_ATTRIBUTES per group, then each SID (8 bytes and 4 per sub-authority).
std::uint32_t tokenGroupsSize(const std::vector<plat::SidAndAttributes>& groups) {
    std::uint64_t size = 8 + 16 * static_cast<std::uint64_t>(groups.size());
    for (const auto& g : groups)
        size += 8 + 4 * static_cast<std::uint64_t>(g.sid.subAuthorities.size());
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(size, 0xFFFFFFFFu));
}

class ProcessesPort final : public plat::Processes {
public:
    explicit ProcessesPort(SimPc::Impl& w) : w_(w) {}

    Handle openProcess(std::uint32_t, std::uint32_t processId) override {
        Lock lk(w_.m);
        if (!alive(processId))
            return 0;
        return add(lk, ObjectKind::Process, processId);
    }

    bool terminateProcess(Handle process, std::uint32_t exitCode) override {
        Lock lk(w_.m);
        auto it = w_.objects.find(process);
        if (it == w_.objects.end() || it->second.kind != ObjectKind::Process)
            return false;
        const std::uint32_t pid = it->second.processId;
        if (pid == SimPc::kProgramProcessId || w_.deadProcesses.count(pid))
            return false;
        std::vector<Hwnd> doomed;
        std::string titles;
        for (const auto& [hwnd, w] : w_.windows)
            if (w->kind == WindowKind::Foreign && w->processId == pid && w->parent == 0) {
                doomed.push_back(hwnd);
                titles += (titles.empty() ? "" : ", ") + w_.windowLabel(*w);
            }
        for (Hwnd hwnd : doomed)
            w_.destroyWindowLocked(hwnd);
        w_.deadProcesses.insert(pid);
        w_.journal("process terminated: " + std::to_string(pid) + " (" + titles + "), exit code " +
                   std::to_string(exitCode));
        for (const auto& t : w_.threads)
            if (t->blocked && t->blockKind == BlockKind::ObjectWait)
                w_.wake(t.get(), WakeReason::Woken);
        return true;
    }

    bool closeHandle(Handle object) override { return w_.threadsPort->closeHandle(object); }

    Handle openProcessToken() override {
        Lock lk(w_.m);
        return w_.tokenUnavailable ? 0 : add(lk, ObjectKind::Token, SimPc::kProgramProcessId);
    }

    bool getTokenGroups(Handle token, std::uint32_t bufferSize,
                        std::vector<plat::SidAndAttributes>& groups, std::uint32_t& returnLength,
                        std::uint32_t& error) override {
        Lock lk(w_.m);
        groups.clear();
        returnLength = 0;
        auto it = w_.objects.find(token);
        if (it == w_.objects.end() || it->second.kind != ObjectKind::Token) {
            error = ERROR_INVALID_HANDLE;
            return false;
        }
        returnLength = tokenGroupsSize(w_.tokenGroups);
        if (bufferSize < returnLength) {
            error = ERROR_INSUFFICIENT_BUFFER;
            return false;
        }
        groups = w_.tokenGroups;
        error = ERROR_SUCCESS;
        return true;
    }

    bool closeToken(Handle token) override {
        Lock lk(w_.m);
        auto it = w_.objects.find(token);
        if (it == w_.objects.end() || it->second.kind != ObjectKind::Token)
            return false;
        w_.objects.erase(it);
        return true;
    }

    std::intptr_t shellExecute(Hwnd, const String& verb, const String& file,
                               std::uint32_t) override {
        std::function<std::intptr_t(const String&, const String&)> handler;
        {
            Lock lk(w_.m);
            w_.journal("shell: " + narrow(verb.empty() ? String(u"open") : verb) + " \"" +
                       narrow(file) + "\"");
            handler = w_.shellHandler;
        }
        return handler ? handler(verb, file) : 42;
    }

    Hwnd htmlHelp(Hwnd caller, const String& file, std::uint32_t command,
                  std::uintptr_t data) override {
        Lock lk(w_.m);
        char buf[160];
        std::string from;
        if (command == HH_DISPLAY_TEXT_POPUP && data) {
            const auto& p = *reinterpret_cast<const plat::HelpPopup*>(data);
            std::snprintf(buf, sizeof buf,
                          " command %u popup instance 0x%llX string %u at (%d,%d) colours "
                          "%d/%d margins %d,%d,%d,%d",
                          command, static_cast<unsigned long long>(p.instance), p.stringId,
                          p.position.x, p.position.y, p.foreground, p.background, p.margins.left,
                          p.margins.top, p.margins.right, p.margins.bottom);
            // The window the popup is shown for.
            const Window* w = w_.window(caller);
            from = " caller " + (!w ? std::string("none")
                                 : w->parent && w->controlId
                                     ? "control " + std::to_string(w->controlId)
                                     : w_.windowLabel(*w));
        } else {
            std::snprintf(buf, sizeof buf, " command %u data 0x%llX", command,
                          static_cast<unsigned long long>(data));
        }
        // No help viewer on this machine: the call is recorded and fails, as when HtmlHelpW
        // cannot be loaded.
        w_.journal("help: \"" + narrow(file) + "\"" + buf + from);
        return 0;
    }

private:
    bool alive(std::uint32_t pid) const { return w_.processAlive(pid); }

    Handle add(Lock& lk, ObjectKind kind, std::uint32_t pid) {
        const Handle h = w_.nextHandle;
        w_.nextHandle += 4;
        KernelObject object;
        object.kind = kind;
        object.processId = pid;
        object.owner = w_.callerProcess(lk);
        w_.objects[h] = object;
        return h;
    }

    SimPc::Impl& w_;
};

} // namespace

std::unique_ptr<plat::Processes> makeProcessesPort(SimPc::Impl& w) {
    return std::make_unique<ProcessesPort>(w);
}
// makeAudioPort: sim_audio.cpp.

} // namespace sim
