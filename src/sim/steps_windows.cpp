// Steps about top-level windows: other programs' windows, messages posted as another
// process would, and what the program's windows look like.
#include "scenario.h"

#include "text.h"

#include <map>

namespace scn {

namespace {

// The windows this scenario created for other programs, by title: only they record what
// they receive.
struct ForeignWindows {
    std::map<std::string, plat::Hwnd> byTitle;
};

std::string describeMessage(std::uint32_t msg, std::int64_t wParam, std::int64_t lParam) {
    return messageName(msg) + " wParam " + std::to_string(wParam) + " lParam " +
           std::to_string(lParam);
}

} // namespace

void registerWindowSteps(StepTable& table) {
    table.add({
        .name = "window",
        .forms = {"<class> <title>"},
        .help = "Another program opens a top-level window with this class and title; it\n"
                "records the messages it receives (see 'expect received').",
        .run =
            [](Session& s, const Args& a) {
                const plat::Hwnd w = s.pc().createForeignWindow(a.wide("class"), a.wide("title"));
                s.state<ForeignWindows>().byTitle[a.text("title")] = w;
                s.say("another program opened window " + quoted(a.text("title")) + " of class " +
                      quoted(a.text("class")));
            },
    });

    table.add({
        .name = "post",
        .forms = {"<title> <message:message> [<wparam:int> [<lparam:int>]]"},
        .help = "Another process posts a message to the top-level window with this title and\n"
                "the program is given time to handle it.",
        .run =
            [](Session& s, const Args& a) {
                const plat::Hwnd w = s.pc().findWindowByTitle(a.wide("title"));
                if (!w) {
                    s.fail("no top-level window is titled " + quoted(a.text("title")));
                    return;
                }
                const auto msg = static_cast<std::uint32_t>(a.number("message"));
                const std::int64_t wParam = a.has("wparam") ? a.number("wparam") : 0;
                const std::int64_t lParam = a.has("lparam") ? a.number("lparam") : 0;
                if (!s.pc().post(w, msg, static_cast<plat::WParam>(wParam),
                                 static_cast<plat::LParam>(lParam))) {
                    s.fail("posting to " + quoted(a.text("title")) + " failed");
                    return;
                }
                s.say("posted " + describeMessage(msg, wParam, lParam) + " to " +
                      quoted(a.text("title")));
                s.settle();
            },
    });

    table.add({
        .name = "expect window",
        .forms = {"<title> [hidden|visible]"},
        .help = "A top-level window with this title exists (and is hidden or visible).",
        .run =
            [](Session& s, const Args& a) {
                const plat::Hwnd w = s.pc().findWindowByTitle(a.wide("title"));
                if (!w) {
                    s.fail("no top-level window is titled " + quoted(a.text("title")));
                    return;
                }
                const bool visible = s.pc().windowVisible(w);
                if (a.has("hidden") && visible) {
                    s.fail("window " + quoted(a.text("title")) + " is visible");
                    return;
                }
                if (a.has("visible") && !visible) {
                    s.fail("window " + quoted(a.text("title")) + " is hidden");
                    return;
                }
                s.say(std::string("ok: window ") + quoted(a.text("title")) +
                      (visible ? " is visible" : " is hidden"));
            },
    });

    table.add({
        .name = "expect no-window",
        .forms = {"<title>"},
        .help = "No top-level window has this title.",
        .run =
            [](Session& s, const Args& a) {
                if (s.pc().findWindowByTitle(a.wide("title"))) {
                    s.fail("a top-level window is titled " + quoted(a.text("title")));
                    return;
                }
                s.say("ok: no window is titled " + quoted(a.text("title")));
            },
    });

    table.add({
        .name = "expect received",
        .forms = {"<title> <message:message> [<wparam:int> [<lparam:int>]]", "<title> nothing"},
        .help = "The other program's window with this title (made by 'window') has received\n"
                "this message (with these parameters, if given), or nothing at all.",
        .run =
            [](Session& s, const Args& a) {
                const auto& windows = s.state<ForeignWindows>().byTitle;
                const auto it = windows.find(a.text("title"));
                if (it == windows.end()) {
                    s.misuse("only windows made by a 'window' step record messages; " +
                             quoted(a.text("title")) + " is not one");
                    return;
                }
                const auto received = s.pc().received(it->second);
                if (a.has("nothing")) {
                    if (!received.empty()) {
                        s.fail(quoted(a.text("title")) + " received " +
                               describeMessage(received[0].msg,
                                               static_cast<std::int64_t>(received[0].wParam),
                                               received[0].lParam) +
                               (received.size() > 1 ? " and more" : ""));
                        return;
                    }
                    s.say("ok: " + quoted(a.text("title")) + " received nothing");
                    return;
                }
                const auto msg = static_cast<std::uint32_t>(a.number("message"));
                for (const auto& r : received) {
                    if (r.msg != msg)
                        continue;
                    if (a.has("wparam") &&
                        static_cast<std::int64_t>(r.wParam) != a.number("wparam"))
                        continue;
                    if (a.has("lparam") &&
                        static_cast<std::int64_t>(r.lParam) != a.number("lparam"))
                        continue;
                    s.say("ok: " + quoted(a.text("title")) + " received " +
                          describeMessage(r.msg, static_cast<std::int64_t>(r.wParam), r.lParam));
                    return;
                }
                std::string got;
                for (const auto& r : received) {
                    got += "\n  " +
                           describeMessage(r.msg, static_cast<std::int64_t>(r.wParam), r.lParam);
                }
                s.fail(quoted(a.text("title")) + " did not receive " + messageName(msg) +
                       (a.has("wparam") ? " wParam " + a.text("wparam") : "") +
                       (a.has("lparam") ? " lParam " + a.text("lparam") : "") +
                       (got.empty() ? "; it received nothing" : "; it received:" + got));
            },
    });
}

} // namespace scn
