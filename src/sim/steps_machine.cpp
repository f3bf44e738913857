// Steps that build the machine the program starts on: the user's rights, the resource
// library, another copy of the program, failing system services.
#include "scenario.h"

#include "constants.h"

namespace scn {

namespace {

// The single-instance mutex every copy of the program creates; another copy holds it.
const plat::String instanceMutex = u"KTRSYSTRAYAPP-0EADD176-5B47-4bcf-911D-FB76C07F75A9";

// Token group attributes, as Windows defines them.
constexpr std::uint32_t groupMandatory = 0x1;
constexpr std::uint32_t groupEnabledByDefault = 0x2;
constexpr std::uint32_t groupEnabled = 0x4;
constexpr std::uint32_t groupDenyOnly = 0x10;
constexpr std::uint32_t enabledGroup = groupMandatory | groupEnabledByDefault | groupEnabled;

} // namespace

void registerMachineSteps(StepTable& table) {
    table.add({
        .name = "user",
        .forms = {"<kind:admin|not-admin|deny-only-admin|no-token>"},
        .help = "The user's access token: a member of Administrators (the default), not a\n"
                "member, a member only for deny checks, or a token that cannot be read.",
        .run =
            [](Session& s, const Args& a) {
                const std::string& kind = a.text("kind");
                const plat::SidAndAttributes users{sim::SimPc::usersSid(), enabledGroup};
                const plat::SidAndAttributes other{sim::SimPc::otherSid(1001), enabledGroup};
                if (kind == "admin") {
                    s.pc().setTokenGroups(
                        {users, {sim::SimPc::administratorsSid(), enabledGroup}, other});
                } else if (kind == "not-admin") {
                    s.pc().setTokenGroups({users, other});
                } else if (kind == "deny-only-admin") {
                    s.pc().setTokenGroups(
                        {users, {sim::SimPc::administratorsSid(), groupDenyOnly}, other});
                } else {
                    s.pc().setTokenUnavailable(true);
                }
                s.say("the user's token: " + kind);
            },
        .when = When::BeforeStart,
    });

    table.add({
        .name = "resource-library",
        .forms = {"absent|present"},
        .help = "Whether KTRResource.dll can be loaded (present by default).",
        .run =
            [](Session& s, const Args& a) {
                s.pc().setResourceLibraryPresent(a.has("present"));
                s.say(a.has("present") ? "KTRResource.dll is present"
                                       : "KTRResource.dll is absent");
            },
        .when = When::BeforeStart,
    });

    table.add({
        .name = "another-copy",
        .forms = {"running [access-denied]"},
        .help = "Another copy of the program runs in this session: it holds the single-instance\n"
                "mutex (with access-denied, opening the mutex is refused instead).",
        .run =
            [](Session& s, const Args& a) {
                if (a.has("access-denied")) {
                    s.pc().failNamedMutex(instanceMutex, ERROR_ACCESS_DENIED);
                    s.say("the single-instance mutex refuses access");
                } else {
                    s.pc().holdNamedMutex(instanceMutex);
                    s.say("another process holds the single-instance mutex");
                }
            },
        .when = When::BeforeStart,
    });

    table.add({
        .name = "device-paths",
        .forms = {"current|legacy"},
        .help = "How the system spells device interface paths: as Windows 10 and 11 do (the\n"
                "default: lower case from enumeration, the device part in upper case in\n"
                "notifications), or as older Windows did (the same mixed case everywhere).",
        .run =
            [](Session& s, const Args& a) {
                const bool legacy = a.has("legacy");
                s.pc().setDevicePathSpelling(legacy ? sim::DevicePathSpelling::Legacy
                                                    : sim::DevicePathSpelling::Current);
                s.say(legacy ? "device paths are spelled as older Windows did"
                             : "device paths are spelled as Windows 10 and 11 do");
            },
        .when = When::BeforeStart,
    });

    table.add({
        .name = "timers",
        .forms = {"fail|work"},
        .help = "Whether SetTimer succeeds (it does by default).",
        .run =
            [](Session& s, const Args& a) {
                s.pc().setTimersFail(a.has("fail"));
                s.say(a.has("fail") ? "SetTimer fails from now on" : "SetTimer works again");
            },
    });

    table.add({
        .name = "device-notifications",
        .forms = {"fail"},
        .help = "Registering for device notifications fails.",
        .run =
            [](Session& s, const Args&) {
                s.pc().setDeviceNotificationFails(true);
                s.say("RegisterDeviceNotification fails");
            },
        .when = When::BeforeStart,
    });
}

} // namespace scn
