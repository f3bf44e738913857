// ConsumerPageRead: forwards the remote devices' media keys, which arrive as input reports
// on the transmitter's consumer-control interface, to the first running supported player as
// application commands. Its constructor also decides whether IntelliType is installed (which
// selects the forwarding rule) and runs the Winamp hotkey configuration.
//
// Lifetime. The tray controller deletes the forwarder when the transmitter goes and at exit,
// possibly while the key thread is blocked in a read. The object therefore outlives its key
// thread: the destructor sets a stop flag, cancels the pending read (again, until the thread
// has ended, because a cancellation only reaches a read that is pending at that moment),
// waits for the thread to end and closes the thread's handle. The thread closes the
// consumer-control handle as it leaves; the destructor cancels reads on that handle only
// while the thread has not closed it, so a handle value that was closed (and may have been
// reused by another open) is never touched.
//
// A player that never returns from the synchronous WM_APPCOMMAND holds the destructor as
// long as it holds the key thread.
#pragma once

#include "Collaborators.h"
#include "ports.h"
#include "types.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

class ConsumerPageRead : public KeyForwarder {
public:
    // Takes ownership of `consumerInterface` (the thread closes it) and starts the key thread.
    explicit ConsumerPageRead(plat::Handle consumerInterface);
    ~ConsumerPageRead() override;
    ConsumerPageRead(const ConsumerPageRead&) = delete;
    ConsumerPageRead& operator=(const ConsumerPageRead&) = delete;

    // The window of the first installed player, in search order, that has a top-level window
    // of its class; its class goes to `windowClass`. 0 when none runs.
    plat::Hwnd findRunningPlayer(plat::String& windowClass);

    // The application command for a key code (byte 1 of a report); none for unlisted codes.
    static std::optional<std::uint32_t> commandForKey(std::uint8_t keyCode);

    // What construction found (fixed for the forwarder's life).
    const plat::StringArray& searchClasses() const { return windowClasses; }
    const plat::StringArray& searchNames() const { return playerNames; }
    std::int32_t installedPlayers() const { return playerCount; }
    std::int32_t intelliType() const { return intelliTypeInstalled; }

private:
    void keyThread();
    // Sends the key's command to the running player when the forwarding rule allows it.
    void forwardKey(std::uint8_t keyCode);
    // The 1000 ms pause after a failed read, in slices so that a stop is not held up.
    void pauseAfterFailedRead();

    // Written before the key thread starts and never again.
    plat::StringArray windowClasses; // search order: deep-integration players, then basic
    plat::StringArray playerNames;   // parallel to windowClasses
    std::int32_t playerCount = 0;
    std::int32_t intelliTypeInstalled = 0;
    plat::Handle consumerHandle = 0;
    plat::HidCaps consumerCaps;

    std::atomic<bool> stopping{false};
    // Guards consumerHandle's closing against the destructor's cancellation.
    std::mutex handleLock;
    bool handleClosed = false;
    plat::Handle keyThreadHandle = 0;
};
