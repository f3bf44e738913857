// ConsumerPageRead: forwards the remote devices' media keys, which arrive as input reports
// on the transmitter's consumer-control interface, to the first running supported player as
// application commands. Its constructor also decides whether IntelliType is installed (which
// selects the forwarding rule) and runs the Winamp hotkey configuration.
//
// Lifetime. The tray controller deletes the forwarder when the transmitter goes and at exit,
// possibly while the key thread is blocked in a read. The destructor sets a stop flag, cancels
// the pending read (again, until the thread has ended, because a cancellation only reaches a
// read that is pending at that moment) and waits for the thread to end, but only for a bounded
// time: the user-interface thread must not freeze behind a read that a driver will not cancel.
// What the thread uses lives in a state object that the thread shares, so a thread left
// behind finishes safely on its own. The thread closes the consumer-control handle as it
// leaves; reads on that handle are cancelled only while the thread has not closed it, so a
// handle value that was closed (and may have been reused by another open) is never touched.
//
// A player that does not answer its application command holds the key thread for at most
// about a second: commands go out with SendMessageTimeoutW and SMTO_ABORTIFHUNG.
#pragma once

#include "ControllerParts.h"
#include "PlayerCatalogue.h"
#include "ports.h"
#include "types.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

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
    const plat::StringArray& searchClasses() const { return state->windowClasses; }
    const plat::StringArray& searchNames() const { return state->playerNames; }
    std::int32_t installedPlayers() const { return state->playerCount; }
    std::int32_t intelliType() const { return state->intelliTypeInstalled; }

    // How long a player may take to answer an application command, and how long the
    // destructor waits for the key thread to end.
    static constexpr std::uint32_t kCommandTimeoutMs = 1000;
    static constexpr std::uint32_t kStopWaitMs = 2 * kCommandTimeoutMs;

private:
    // Everything the key thread uses. The forwarder and its thread share it; the last to let
    // go frees it.
    struct State {
        // Written before the key thread starts and never again.
        plat::StringArray windowClasses; // search order: deep-integration players, then basic
        plat::StringArray playerNames;   // parallel to windowClasses
        std::vector<players::KeyForwarding> forwarding; // parallel to windowClasses
        std::int32_t playerCount = 0;
        std::int32_t intelliTypeInstalled = 0;
        plat::Handle consumerHandle = 0;
        plat::HidCaps consumerCaps;

        std::atomic<bool> stopping{false};
        // Guards consumerHandle's closing against the destructor's cancellation.
        std::mutex handleLock;
        bool handleClosed = false;

        // The first running player's window; its place in the search order to `index`.
        plat::Hwnd findRunningPlayer(std::size_t& index) const;
        // Sends the key's command to the running player when the forwarding rule allows it.
        void forwardKey(std::uint8_t keyCode) const;
        // The 1000 ms pause after a failed read, in slices so that a stop is not held up.
        void pauseAfterFailedRead() const;
        // Cancels a pending read, unless the thread has closed the handle already.
        void cancelRead();
        void closeHandle();
    };

    static void keyThread(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state = std::make_shared<State>();
    plat::Handle keyThreadHandle = 0;
};
