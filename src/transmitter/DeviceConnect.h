// The pairing wait (dialog 107, "New Auravo Device"): asks the user to hold the new remote's
// Connect button and waits up to 182 s for the transmitter's answer. It ends in one of three
// ways: the reader tells it a listing arrived, the list was cleared or pairing failed (WM_USER:
// IDOK, nothing sent); the user gives up (Cancel, the close box, Escape or Enter: CancelPairing,
// IDOK); or the time runs out (CancelPairing, IDCANCEL). runPairingWait (PairingWait.h) runs it.
#pragma once

#include "Dialog.h"

#include <cstdint>

class DeviceConnect : public fw::Dialog {
public:
    explicit DeviceConnect(plat::Hwnd parent = 0);

    // 182 s: the three minutes the dialog promises, and two seconds to spare.
    static constexpr std::uint32_t kWaitMs = 182000;
    // The timer's own id. A window's timer asked for with id 0 is reported by SetTimer as 1,
    // and KillTimer(1) would not find it; a non-zero id is the same in both.
    static constexpr std::uintptr_t kWaitTimerId = 1;

    // The id of the running time-out, 0 when there is none.
    std::uintptr_t waitTimer = 0;

    // Ends a wait still running as done (IDOK), sending nothing: the link it waited on goes.
    void endWait();

protected:
    void DoDataExchange(bool saveAndValidate) override;
    const fw::MessageMap* messageMap() const override;

    void OnTimer(plat::WParam id);
    // Cancel (1033), the close box and Escape (IDCANCEL), and Enter (1033 is the default button;
    // IDOK when a dialog manager finds none).
    void OnCancelWait();
    // WM_USER from the reader thread: the transmitter has answered.
    void OnTransmitterAnswered();

private:
    // Stops the time-out, clears pairingWaitActive, sends CancelPairing if asked and ends the
    // run; later messages that were already queued find the wait over and do nothing.
    void finish(std::intptr_t result, bool cancelPairing);

    bool finished_ = false;
};
