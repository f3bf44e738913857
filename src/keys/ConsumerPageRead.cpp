#include "ConsumerPageRead.h"

#include "Debug.h"
#include "Globals.h"
#include "PcInfo.h"
#include "PlayerCatalogue.h"
#include "WinampIniRead.h"

#include <algorithm>
#include <vector>

namespace {

constexpr char16_t kIntelliTypeKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\mskey.exe";

constexpr std::uint32_t kFailedReadPauseMs = 1000;
constexpr std::uint32_t kPauseSliceMs = 100;
// How long the destructor waits for the thread before cancelling its read again.
constexpr std::uint32_t kLeaveWaitMs = 100;
// Byte 1 of a report carries the key code, so shorter reports carry none.
constexpr std::uint32_t kKeyCodeOffset = 1;

} // namespace

ConsumerPageRead::ConsumerPageRead(plat::Handle consumerInterface) {
    traceEntry(u"ConsumerPageRead::ConsumerPageRead");
    State& s = *state;
    s.consumerHandle = consumerInterface;
    // The capabilities are all the thread needs of the preparsed data, which getCaps frees.
    if (!plat::hid().getCaps(s.consumerHandle, s.consumerCaps))
        s.consumerCaps = {};

    plat::StringArray deep;
    plat::StringArray basic;
    if (PcInfo* info = globals().pcInfo.get()) {
        info->getDeepIntegrationPlayerlist(deep);
        info->getBasicPlayerlist(basic);
    }
    bool ownHotkeysInstalled = false;
    for (const plat::StringArray* list : {&deep, &basic}) {
        for (const plat::String& name : *list) {
            const players::PlayerRow* row = players::findPlayer(name);
            if (!row)
                continue; // the lists name only players of the catalogue
            WriteLog(name, LogLevel::Log);
            s.windowClasses.push_back(row->windowClass);
            s.playerNames.push_back(name);
            s.forwarding.push_back(row->keys);
            ownHotkeysInstalled |= list == &deep && row->keys == players::KeyForwarding::OwnHotkeys;
        }
    }
    s.playerCount = static_cast<std::int32_t>(s.windowClasses.size());

    // Only whether the key opens matters; this check logs no registry error.
    plat::HKey key = 0;
    if (plat::registry().openKey(plat::HKLM, kIntelliTypeKey, KEY_READ, key) == ERROR_SUCCESS) {
        plat::registry().closeKey(key);
        s.intelliTypeInstalled = 1;
        WriteLog(u"Intellitype Installed", LogLevel::Log);
    } else {
        s.intelliTypeInstalled = 0;
        WriteLog(u"Intellitype not installed", LogLevel::Log);
    }

    if (ownHotkeysInstalled) {
        if (globals().isAdministrator) {
            WinampIniRead hotkeys; // one run: it does its work while constructed
        }
    } else {
        WriteLog(u"Winamp not present", LogLevel::Log);
    }

    keyThreadHandle = plat::threads().startThread([shared = state] { keyThread(shared); });
    traceExit(u"ConsumerPageRead::ConsumerPageRead");
}

ConsumerPageRead::~ConsumerPageRead() {
    state->stopping = true;
    if (keyThreadHandle == 0) {
        // No thread was started, so nobody else will close the interface.
        state->closeHandle();
        return;
    }
    plat::Threads& threads = plat::threads();
    state->cancelRead();
    // A thread caught between two reads may begin another after the first cancellation; it
    // sees the stop flag before the read after that.
    const std::uint64_t start = threads.tickCount();
    while (threads.waitForSingleObject(keyThreadHandle, kLeaveWaitMs) == WAIT_TIMEOUT) {
        if (threads.tickCount() - start >= kStopWaitMs) {
            // Its read will not be cancelled: it ends once the read returns, on its own.
            WriteLog(u"Key thread did not stop; it ends by itself", LogLevel::Log);
            break;
        }
        state->cancelRead();
    }
    threads.closeHandle(keyThreadHandle);
    keyThreadHandle = 0;
}

std::optional<std::uint32_t> ConsumerPageRead::commandForKey(std::uint8_t keyCode) {
    switch (keyCode) {
    case 0xB5: return APPCOMMAND_MEDIA_NEXTTRACK;
    case 0xB6: return APPCOMMAND_MEDIA_PREVIOUSTRACK;
    case 0xB7: return APPCOMMAND_MEDIA_STOP;
    case 0xCD: return APPCOMMAND_MEDIA_PLAY_PAUSE;
    default: return std::nullopt;
    }
}

plat::Hwnd ConsumerPageRead::findRunningPlayer(plat::String& windowClass) {
    std::size_t index = 0;
    const plat::Hwnd window = state->findRunningPlayer(index);
    if (window)
        windowClass = state->windowClasses[index];
    return window;
}

plat::Hwnd ConsumerPageRead::State::findRunningPlayer(std::size_t& index) const {
    traceEntry(u"ConsumerPageRead::findRunningPlayer");
    plat::Desktop& desktop = plat::desktop();
    for (std::size_t i = 0; i < windowClasses.size(); ++i) {
        if (const plat::Hwnd window = desktop.findWindow(&windowClasses[i], nullptr)) {
            index = i;
            traceExit(u"ConsumerPageRead::findRunningPlayer");
            return window;
        }
    }
    traceExit(u"ConsumerPageRead::findRunningPlayer");
    return 0;
}

void ConsumerPageRead::State::forwardKey(std::uint8_t keyCode) const {
    using players::KeyForwarding;
    std::size_t index = 0;
    const plat::Hwnd player = findRunningPlayer(index);
    if (!player)
        return;
    plat::Desktop& desktop = plat::desktop();
    bool forward = false;
    if (intelliTypeInstalled == 1) {
        // A player with its own global hotkeys (configured at construction) takes the media
        // keys through them; sending them too would act twice.
        forward = forwarding[index] != KeyForwarding::OwnHotkeys;
    } else {
        // Only some players are served, and only from the background: the window in front
        // already gets the key from the system.
        forward = forwarding[index] == KeyForwarding::AlsoFromBackground &&
                  desktop.getForegroundWindow() != player;
    }
    if (!forward)
        return;
    const auto command = commandForKey(keyCode);
    if (!command)
        return;
    // A player that has stopped answering must not hold the keys (and with them the
    // forwarder's deletion) for ever: it gets about a second, none if Windows calls it hung.
    plat::LResult ignored = 0;
    if (!desktop.sendMessageTimeout(player, WM_APPCOMMAND, 0,
                                    static_cast<plat::LParam>(*command) << 16, SMTO_ABORTIFHUNG,
                                    kCommandTimeoutMs, ignored))
        WriteLog(u"Media player not responding: key dropped", LogLevel::Log);
}

void ConsumerPageRead::State::pauseAfterFailedRead() const {
    plat::Threads& threads = plat::threads();
    for (std::uint32_t waited = 0;
         waited < kFailedReadPauseMs && !stopping && !threads.processEnding();
         waited += kPauseSliceMs)
        threads.sleep(kPauseSliceMs);
}

void ConsumerPageRead::State::cancelRead() {
    std::lock_guard<std::mutex> lock(handleLock);
    if (!handleClosed)
        plat::hid().cancelRead(consumerHandle);
}

void ConsumerPageRead::State::closeHandle() {
    std::lock_guard<std::mutex> lock(handleLock);
    if (!handleClosed && consumerHandle)
        plat::hid().close(consumerHandle);
    handleClosed = true;
}

void ConsumerPageRead::keyThread(const std::shared_ptr<State>& shared) {
    State& s = *shared;
    Globals& g = globals();
    plat::Hid& hid = plat::hid();
    plat::Threads& threads = plat::threads();
    const std::uint32_t length = s.consumerCaps.inputReportByteLength;
    // At least the declared length, and never too short to hold the key code.
    std::vector<std::uint8_t> report(std::max<std::uint32_t>(length, kKeyCodeOffset + 1), 0);
    while (g.transmitterPresent == 1 && !s.stopping && !threads.processEnding()) {
        std::uint32_t got = 0;
        std::uint32_t error = 0;
        const bool ok = hid.read(s.consumerHandle, report.data(), length, got, error);
        if (!ok || got == 0) {
            // Ends at once when the read was cancelled to stop this thread.
            s.pauseAfterFailedRead();
            continue;
        }
        // A report too short to reach byte 1 carries no key; a stop asked for meanwhile
        // means the transmitter is going.
        if (std::min(got, length) <= kKeyCodeOffset || s.stopping)
            continue;
        s.forwardKey(report[kKeyCodeOffset]);
    }
    s.closeHandle();
}
