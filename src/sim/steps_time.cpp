// Steps that move virtual time and wait for the simulated world to settle.
#include "scenario.h"

namespace scn {

void registerTimeSteps(StepTable& table) {
    table.add({
        .name = "advance",
        .forms = {"<time:duration>"},
        .help = "Moves virtual time forward (e.g. 1500ms, 30s, 3min), firing due timers and\n"
                "waking sleepers in order; costs no real time.",
        .run =
            [](Session& s, const Args& a) {
                const std::uint64_t before = s.pc().nowMs();
                s.pc().advance(a.ms("time"));
                s.say("virtual time " + std::to_string(before) + " ms -> " +
                      std::to_string(s.pc().nowMs()) + " ms");
                s.settle();
            },
    });

    table.add({
        .name = "wait idle",
        .help = "Waits until every thread of the program is blocked and its queue is empty.",
        .run = [](Session& s, const Args&) { s.settle(); },
    });
}

} // namespace scn
