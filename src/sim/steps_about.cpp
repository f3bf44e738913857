// Steps about the About dialog: opened from the tray menu as the user does, its title and
// firmware line read as shown, and closed with its OK button.
#include "steps_menu.h"

#include "text.h"

namespace scn {

namespace {

// The About dialog's template and the control that shows the firmware line, in the program's
// resources.
constexpr int aboutTemplate = 100;
constexpr int firmwareLineControl = 1043;

bool isAbout(const sim::ModalView& v) {
    return v.kind == sim::ModalKind::Dialog && v.templateId == aboutTemplate;
}

// The open About dialog, innermost first.
std::optional<sim::ModalView> openAbout(Session& s) {
    const auto open = s.pc().openModals();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        if (isAbout(*it))
            return *it;
    return std::nullopt;
}

std::string shown(const plat::String& text) {
    return quoted(plat::toUtf8(text));
}

} // namespace

void registerAboutSteps(StepTable& table) {
    table.add({
        .name = "open about",
        .help = "The user opens the tray menu with a right click and chooses \"About\". The About\n"
                "dialog that opens stays open for the steps that follow; one that is open\n"
                "already only comes to the front.",
        .run =
            [](Session& s, const Args&) {
                const bool wasOpen = s.settle() && openAbout(s).has_value();
                if (!wasOpen) {
                    sim::ScriptEntry entry;
                    entry.kind = sim::ModalKind::Dialog;
                    entry.templateId = aboutTemplate;
                    entry.hold = true;
                    entry.label = "line " + std::to_string(s.line()) + ": About, held open";
                    s.pc().script(std::move(entry));
                }
                if (!openTrayMenu(s, false) || !chooseMenuItem(s, "About"))
                    return;
                const auto about = openAbout(s);
                if (!about) {
                    s.fail("no About dialog opened");
                    return;
                }
                s.say("the About dialog " + shown(about->caption) + " is open");
            },
    });

    table.add({
        .name = "expect about",
        .forms = {"[title <title>] [firmware <line>] [foreground]", "opened <count:uint>"},
        .help = "The open About dialog has this title, shows this firmware line (write a tab as\n"
                "\\t), and is the foreground window. With 'opened': exactly this many About\n"
                "dialogs have opened since the start.",
        .run =
            [](Session& s, const Args& a) {
                if (!s.settle())
                    return;
                if (a.has("opened")) {
                    std::size_t count = 0;
                    for (const auto& v : s.pc().modalHistory())
                        count += isAbout(v) ? 1 : 0;
                    if (count != static_cast<std::size_t>(a.number("count"))) {
                        s.fail("About opened " + std::to_string(count) + " times, not " +
                               a.text("count"));
                        return;
                    }
                    s.say("ok: About opened " + std::to_string(count) + " times");
                    return;
                }
                const auto about = openAbout(s);
                if (!about) {
                    s.fail("no About dialog is open (see 'open about')");
                    return;
                }
                if (a.has("title") && about->caption != a.wide("title")) {
                    s.fail("the About dialog's title is " + shown(about->caption) + ", not " +
                           shown(a.wide("title")));
                    return;
                }
                if (a.has("line")) {
                    const sim::ControlView* line = about->control(firmwareLineControl);
                    const plat::String text = line ? line->text : plat::String();
                    if (!line || text != a.wide("line")) {
                        s.fail("the About dialog's firmware line reads " + shown(text) + ", not " +
                               shown(a.wide("line")));
                        return;
                    }
                    s.say("ok: the firmware line reads " + shown(text));
                }
                if (a.has("foreground") &&
                    s.pc().bundle().desktop->getForegroundWindow() != about->window) {
                    s.fail("the About dialog is not the foreground window");
                    return;
                }
                s.say("ok: the About dialog " + shown(about->caption) + " is as expected");
            },
    });

    table.add({
        .name = "close about",
        .help = "The user presses OK in the open About dialog.",
        .run =
            [](Session& s, const Args&) {
                if (!s.settle() || !openAbout(s)) {
                    s.fail("no About dialog is open to close");
                    return;
                }
                const auto open = s.pc().openModals();
                if (!isAbout(open.back())) {
                    s.fail("something is open above the About dialog: " + open.back().describe());
                    return;
                }
                s.pc().actOnTopModal([](sim::ModalContext& m) { m.pressId(1); }); // IDOK
                s.say("pressed OK in the About dialog");
                s.settle();
            },
    });
}

} // namespace scn
