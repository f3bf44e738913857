// PcInfo's side of the player catalogue: which supported players are installed, whether one
// runs, and closing and starting them, each as its row says.
#include "PcInfo.h"

#include "Debug.h"
#include "PlayerCatalogue.h"
#include "ports.h"

#include <cstddef>
#include <cstdint>

using players::PlayerRow;
using players::playerWindow;

namespace {

// Program paths are read into buffers of this many characters.
constexpr std::size_t kPathCapacity = 200;

constexpr int kCloseChecks = 30;
constexpr std::uint32_t kCheckPauseMs = 1000;
constexpr int kCloseRepeatEvery = 3;
// How long a player may take to answer a close request with a window of its own.
constexpr std::uint32_t kCloseAnswerPauseMs = 2000;

plat::Hwnd findByClass(const char16_t* className) {
    const plat::String name = className;
    return plat::desktop().findWindow(&name, nullptr);
}

plat::Hwnd findByTitle(const char16_t* title) {
    const plat::String text = title;
    return plat::desktop().findWindow(nullptr, &text);
}

void postClose(plat::Hwnd window) {
    plat::desktop().postMessage(window, WM_CLOSE, 0, 0);
}

void terminateOwner(plat::Hwnd window) {
    std::uint32_t processId = 0;
    plat::desktop().getWindowThreadProcessId(window, &processId);
    plat::Processes& processes = plat::processes();
    if (const plat::Handle process = processes.openProcess(PROCESS_ALL_ACCESS, processId)) {
        processes.terminateProcess(process, 1);
        processes.closeHandle(process);
    }
}

void appendInstalled(PcInfo& pc, players::Integration integration, plat::StringArray& list) {
    for (const PlayerRow& row : players::catalogue()) {
        if (row.integration != integration)
            continue;
        // The second root is tried only when the first does not open.
        if (pc.checkRegistryKey(plat::HKCU, row.userKey) ||
            (row.machineKey && pc.checkRegistryKey(plat::HKLM, row.machineKey)))
            list.push_back(row.name);
    }
}

} // namespace

int PcInfo::getDeepIntegrationPlayerlist(plat::StringArray& list) {
    traceEntry(u"PcInfo::getDeepIntegrationPlayerlist");
    list.clear();
    appendInstalled(*this, players::Integration::Deep, list);
    traceExit(u"PcInfo::getDeepIntegrationPlayerlist");
    return 1;
}

int PcInfo::getBasicPlayerlist(plat::StringArray& list) {
    traceEntry(u"PcInfo::getBasicPlayerlist");
    list.clear();
    appendInstalled(*this, players::Integration::Basic, list);
    traceExit(u"PcInfo::getBasicPlayerlist");
    return 1;
}

int PcInfo::checkActive(const plat::String& name) {
    traceEntry(u"PcInfo::checkActive");
    const PlayerRow* row = players::findPlayer(name);
    const plat::Hwnd window = row ? playerWindow(*row) : 0;
    traceExit(u"PcInfo::checkActive");
    return window ? 1 : 0;
}

void PcInfo::closePlayer(const plat::String& name) {
    traceEntry(u"PcInfo::closePlayer");
    const PlayerRow* row = players::findPlayer(name);
    if (!row) {
        traceExit(u"PcInfo::closePlayer", u"No Player Found");
        return;
    }
    plat::Threads& threads = plat::threads();
    plat::Hwnd window = playerWindow(*row);
    if (window && row->closing == players::Closing::TerminateProcess) {
        // The wait below then looks only for the current window class.
        terminateOwner(window);
    } else if (window) {
        postClose(window);
        if (row->closeAnswerTitle) {
            // The player may answer the close with a window of its own; it gets its own close.
            threads.sleep(kCloseAnswerPauseMs);
            if (const plat::Hwnd answer = findByTitle(row->closeAnswerTitle))
                postClose(answer);
            window = findByClass(row->windowClass);
        }
    }

    // A player that is slow to close is asked again every third check; after the last
    // check the caller goes on as if it had closed.
    for (int checks = 0; window && checks < kCloseChecks;) {
        ++checks;
        threads.sleep(kCheckPauseMs);
        window = findByClass(row->windowClass);
        if (window && checks % kCloseRepeatEvery == 0)
            postClose(window);
    }
    traceExit(u"PcInfo::closePlayer", u"Player Closed");
}

void PcInfo::startPlayer(const plat::String& name) {
    traceEntry(u"PcInfo::startPlayer");
    const PlayerRow* row = players::findPlayer(name);
    if (!row) {
        traceExit(u"PcInfo::startPlayer", u"No player to start");
        return;
    }
    if (row->startPauseMs)
        plat::threads().sleep(row->startPauseMs);
    // The value must fit the 200-character buffer; the program name is appended to a string
    // of its own, so a long directory cannot overrun anything.
    const players::ProgramLocation& at = row->location;
    plat::String path;
    if (getRegVal(at.root, at.key, at.value, path, kPathCapacity) == 1) {
        if (at.program)
            path += at.program;
        // Whether the shell could open it is not examined: the player reports its own errors.
        plat::processes().shellExecute(0, u"open", path, SW_SHOWNORMAL);
    }
    traceExit(u"PcInfo::startPlayer", u"Player Started");
}
