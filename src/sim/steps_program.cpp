// Steps that start and stop the program and check that it runs.
#include "scenario.h"

#include "constants.h"
#include "resource.h"
#include "text.h"

namespace scn {

void registerProgramSteps(StepTable& table) {
    table.add({
        .name = "start",
        .help = "Starts the program and waits until it is idle. Once per scenario: a second\n"
                "copy is another process, modelled by 'another-copy running' or a 'window'\n"
                "titled like the controller.",
        .run =
            [](Session& s, const Args&) {
                if (s.programStarted()) {
                    s.misuse("the program can start once per scenario");
                    return;
                }
                s.startProgram();
                s.say(s.pc().programRunning() ? "the program runs" : "the program has ended");
            },
    });

    table.add({
        .name = "stop",
        .help = "Another process posts WM_CLOSE to the controller window; the program must end.",
        .run =
            [](Session& s, const Args&) {
                const plat::String title = s.loadString(IDS_CONTROLLER_TITLE);
                const plat::Hwnd controller = s.pc().findWindowByTitle(title);
                if (!controller) {
                    s.fail("no window is titled " + quoted(plat::toUtf8(title)) + " to close");
                    return;
                }
                s.pc().post(controller, WM_CLOSE);
                const auto code = s.pc().waitForExit(s.bound());
                if (!code) {
                    s.fail("the program still runs after WM_CLOSE");
                    return;
                }
                s.say("the program ended with " + std::to_string(*code));
            },
    });

    table.add({
        .name = "expect exited",
        .forms = {"[code <result:int>]"},
        .help = "The program has ended (with this result, if given).",
        .run =
            [](Session& s, const Args& a) {
                if (!s.programStarted()) {
                    s.misuse("the program was never started");
                    return;
                }
                // Once the world is idle a program that still runs is waiting for input and
                // will not end by itself: no need to wait out the bound.
                if (!s.settle())
                    return;
                if (s.pc().programRunning()) {
                    s.fail("the program still runs (idle, waiting for input)");
                    return;
                }
                const auto code = s.pc().waitForExit(s.bound());
                if (!code) {
                    s.fail("the program still runs");
                    return;
                }
                if (a.has("result") && *code != a.number("result")) {
                    s.fail("the program ended with " + std::to_string(*code) + ", not " +
                           std::to_string(a.number("result")));
                    return;
                }
                s.say("ok: the program has ended with " + std::to_string(*code));
            },
    });

    table.add({
        .name = "expect running",
        .help = "The program still runs.",
        .run =
            [](Session& s, const Args&) {
                if (!s.pc().programRunning()) {
                    s.fail(s.programStarted() ? "the program has ended"
                                              : "the program was never started");
                    return;
                }
                s.say("ok: the program runs");
            },
    });
}

} // namespace scn
