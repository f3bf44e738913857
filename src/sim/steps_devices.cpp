// Steps that announce device-interface arrivals and removals as the system does, with any
// interface path: what the program's device-change handling sees, without a device behind
// it.
#include "scenario.h"

#include "constants.h"
#include "text.h"

namespace scn {

namespace {

// Interface paths are long and full of backslashes: a transcript shows them bare, as they
// are usually written, unless only quoting can show them.
std::string shown(const std::string& path) {
    bool bare = !path.empty() && path.front() != '#';
    for (const char c : path)
        bare = bare && c != '"' && static_cast<unsigned char>(c) > 0x20;
    return bare ? path : quoted(path);
}

void announce(Session& s, const Args& a, plat::WParam event, const char* what) {
    const plat::String path = a.wide("path");
    const auto windows = s.pc().deviceNotificationWindows();
    if (windows.empty()) {
        // A real system would tell nobody either; the scenario checks what (not) follows.
        s.say(std::string("no window is registered for device-interface notifications: ") +
              "nobody hears of the " + what + " of " + shown(a.text("path")));
        return;
    }
    s.pc().sendDeviceChange(event, path);
    s.say(std::string("the system announced the ") + what + " of " + shown(a.text("path")) +
          " to " + std::to_string(windows.size()) + (windows.size() == 1 ? " window" : " windows"));
    s.settle();
}

} // namespace

void registerDeviceSteps(StepTable& table) {
    table.add({
        .name = "device arrive",
        .forms = {"<path>"},
        .help = "The system sends WM_DEVICECHANGE DBT_DEVICEARRIVAL for the device interface\n"
                "(DBT_DEVTYP_DEVICEINTERFACE) with this path to every window registered for\n"
                "such notifications, and the program is given time to handle it. No device\n"
                "comes with it. Write the path bare, backslashes as they are\n"
                "(\\\\?\\HID#VID_0B7A&PID_0100&MI_03&COL01#...), or quoted with each backslash\n"
                "doubled.",
        .run = [](Session& s, const Args& a) { announce(s, a, DBT_DEVICEARRIVAL, "arrival"); },
    });

    table.add({
        .name = "device remove",
        .forms = {"<path>"},
        .help = "As 'device arrive', with DBT_DEVICEREMOVECOMPLETE: the interface with this\n"
                "path has gone. No device goes with it.",
        .run = [](Session& s,
                  const Args& a) { announce(s, a, DBT_DEVICEREMOVECOMPLETE, "removal"); },
    });
}

} // namespace scn
