// Finds the transmitter's two HID interfaces (vendor collection, usage page 0xFF00, and
// consumer-control collection, usage page 0x000C) among the present HID interfaces,
// remembers which transmitter is the current one, and opens its interfaces. The tray
// controller owns one for its whole life and asks it at start and on device changes.
//
// Handle ownership. An interface this object opens is its own until the controller takes
// it with getVendorHandle / getConsumerHandle; from then on it belongs to the taker (the
// vendor link closes the vendor handle, the key forwarder the consumer handle), and this
// object never touches it again. Whenever the current transmitter is lost or its
// interfaces are opened anew, both slots go back to 0 first, so a new link gets either a
// freshly opened handle or 0 (a link on 0 fails its writes and reads), never a handle an
// earlier link was given and may have closed. A handle opened but never taken is closed
// when the slot is reused and by the destructor.
#pragma once

#include "ControllerParts.h"
#include "types.h"

#include <cstddef>

class DongleVerification : public TransmitterFinder {
public:
    DongleVerification() = default;
    ~DongleVerification() override;
    DongleVerification(const DongleVerification&) = delete;
    DongleVerification& operator=(const DongleVerification&) = delete;

    // 1 when a transmitter's interfaces are open and current after this call, else 0.
    int findDongle() override;
    // Hand the handle over to the caller (see above).
    plat::Handle getVendorHandle() override;
    plat::Handle getConsumerHandle() override;

    // The vendor and consumer-control interface paths of every present transmitter.
    void enumerateDongleInterfaces(plat::StringArray& vendorOut, plat::StringArray& consumerOut);
    // Opens one interface and keeps the handle in the slot of its usage page.
    void openDongleInterface(const plat::String& path);
    // The per-device part of an interface path, shared by both collections of a transmitter.
    static plat::String getInstanceId(const plat::String& path);
    // The one path in the longer list that the shorter lacks; empty for lists of one size.
    static plat::String getPathDifference(const plat::StringArray& known,
                                          const plat::StringArray& found);

    const plat::StringArray& knownVendorPaths() const { return vendorPaths; }
    const plat::StringArray& knownConsumerPaths() const { return consumerPaths; }
    const plat::String& currentInstance() const { return currentInstanceId; }

private:
    int findDongleFrom(const plat::StringArray& foundVendor, const plat::StringArray& foundConsumer);
    // The three cases of findDongleFrom: as many transmitters as before, more, fewer.
    int sameCount(const plat::StringArray& foundVendor, const plat::StringArray& foundConsumer);
    int oneArrived(const plat::StringArray& foundVendor, const plat::StringArray& foundConsumer);
    int oneLeft(const plat::StringArray& foundVendor, const plat::StringArray& foundConsumer);
    // Opens the interfaces of vendorPaths[0] and of the consumer path with its instance id.
    int openCurrent();
    // The current transmitter has gone: nothing is current and no handle is offered.
    void loseCurrent();
    void clearSlots();

    plat::StringArray vendorPaths;   // index 0: the current transmitter's
    plat::StringArray consumerPaths; // in the order found; matched to vendor paths by id
    plat::String currentInstanceId;  // empty when none is open
    plat::Handle consumerHandle = 0;
    plat::Handle vendorHandle = 0;
    bool consumerTaken = true; // true: the slot holds nothing this object must close
    bool vendorTaken = true;
    int findDepth = 0;
};
