#include "ProcessObjects.h"

#include "AudioDevices.h"
#include "PcInfo.h"
#include "QuorvaneAuravoSystemTrayApplication.h"

#include <memory>

namespace {

// The order of the members they fill, which is the program's start-up order.
void buildProcessObjects(Globals& g) {
    g.audioDevices = makeOwned<AudioDeviceTable>();
    g.pcInfo = makeOwned<PcInfo>();
    g.application = std::make_unique<CKTRSystemTrayApplicationApp>();
}

} // namespace

// Before main: code exercised outside a run (a unit test of one class, a benchmark) finds the
// whole set through globals(), as it would in a run. Every link against this layer names this
// symbol (CMakeLists.txt), so that a static link never drops this file, and the builder with
// it, from a binary that does not call startProcessObjects itself.
extern "C" const bool qa_process_objects_builder_set =
    (setProcessObjectsBuilder(&buildProcessObjects), true);

Globals& startProcessObjects() {
    Globals& g = startProcessValues();
    buildProcessObjects(g);
    return g;
}
