#include "QuorvaneAuravoSystemTrayApplication.h"

#include "ProcessObjects.h"
#include "QuorvaneAuravoSystemTrayApplicationDlg.h"
#include "ports.h"
#include "resource.h"

namespace {

// No namespace prefix: one copy per logon session.
constexpr char16_t singleInstanceMutexName[] =
    u"KTRSYSTRAYAPP-0EADD176-5B47-4bcf-911D-FB76C07F75A9";
constexpr char16_t resourceLibraryName[] = u"KTRResource.dll";

// A token's group list comes from outside; nothing real comes near this.
constexpr std::uint32_t maxTokenGroupsBytes = 1u << 20;

} // namespace

int runProgram() {
    Globals& g = startProcessObjects();
    g.application->InitInstance();
    // As the framework does when InitInstance declines a message loop.
    return 0;
}

bool CKTRSystemTrayApplicationApp::InitInstance() {
    plat::Threads& threads = plat::threads();

    const plat::String mutexName = singleInstanceMutexName;
    std::uint32_t lastError = 0;
    const plat::Handle mutex = threads.createMutex(&mutexName, false, lastError);
    if (lastError == ERROR_ALREADY_EXISTS || lastError == ERROR_ACCESS_DENIED) {
        // Our handle would only keep the other copy's mutex alive longer.
        if (mutex)
            threads.closeHandle(mutex);
        return false;
    }

    // A controller that outlives its mutex (a copy being torn down) still counts as a copy.
    // The resource library is not loaded yet, so the title comes from the program itself.
    plat::String controllerTitle;
    plat::resources().loadString(plat::resources().programModule(), IDS_CONTROLLER_TITLE,
                                 controllerTitle);
    if (plat::desktop().findWindow(nullptr, &controllerTitle)) {
        if (mutex)
            threads.closeHandle(mutex);
        return false;
    }

    // ActiveX hosting and the three-dimensional control look need no step here: the
    // platform's dialogs have both.

    Globals& g = globals();
    if (!g.resourceLibrary)
        g.resourceLibrary = plat::resources().loadLibrary(resourceLibraryName);
    // Without the library the program's own resources serve; that is not an error.
    fw::setResourceModule(g.resourceLibrary ? g.resourceLibrary
                                            : plat::resources().programModule());

    g.isAdministrator = IsUserAdministrator();

    {
        CKTRSystemTrayApplicationDlg controller(0);
        setMainWindow(&controller);
        controller.doModal();
        setMainWindow(nullptr);
    }

    if (mutex)
        threads.closeHandle(mutex);
    return false;
}

bool CKTRSystemTrayApplicationApp::IsUserAdministrator() {
    plat::Processes& processes = plat::processes();
    const plat::Handle token = processes.openProcessToken();
    if (!token)
        return false;

    // Ask for the size the group list needs, then read it with exactly that size. The list
    // can grow between the two calls, so ask again a few times before giving up.
    std::vector<plat::SidAndAttributes> groups;
    std::uint32_t bufferSize = 0;
    bool read = false;
    for (int attempt = 0; attempt < 4 && !read; ++attempt) {
        std::uint32_t needed = 0;
        std::uint32_t error = 0;
        groups.clear();
        read = processes.getTokenGroups(token, bufferSize, groups, needed, error);
        if (read || error != ERROR_INSUFFICIENT_BUFFER || needed <= bufferSize ||
            needed > maxTokenGroupsBytes)
            break;
        bufferSize = needed;
    }
    processes.closeToken(token);
    if (!read)
        return false;

    // BUILTIN\Administrators: SECURITY_NT_AUTHORITY, SECURITY_BUILTIN_DOMAIN_RID,
    // DOMAIN_ALIAS_RID_ADMINS. A deny-only membership counts as well: attributes are not read.
    plat::Sid administrators;
    administrators.authority[5] = 5;
    administrators.subAuthorities = {32, 544};
    for (const plat::SidAndAttributes& group : groups)
        if (group.sid == administrators)
            return true;
    return false;
}
