// The layering check's probe (CMake target qa_layering_probe, outside the default build): a
// source of the transmitter's layer that includes the controller's header, as the vendor
// link's reader thread once did. It must not compile: the transmitter's library does not see
// the app folder, and the test passes only when the compiler says that this header is missing.
// Linked to the app's library instead, it compiles.
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"

std::size_t controllerSize() {
    return sizeof(CKTRSystemTrayApplicationDlg);
}
