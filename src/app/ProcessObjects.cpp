#include "ProcessObjects.h"

#include "AudioDevices.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplication.h"

#include <memory>

Globals& startProcessObjects() {
    Globals& g = startProcessValues();
    // The order of the members they fill, which is the program's start-up order.
    g.audioDevices = makeOwned<AudioDeviceTable>();
    g.pcInfo = makeOwned<PcInfo>();
    g.application = std::make_unique<CKTRSystemTrayApplicationApp>();
    return g;
}
