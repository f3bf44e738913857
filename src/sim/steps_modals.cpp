// Steps of the scripted user for message boxes: answers queued before the step that opens
// a box, boxes held open to act on later, and checks of what the user was shown.
#include "scenario.h"

#include "text.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <set>

namespace scn {

namespace {

struct Claimed {
    std::set<std::size_t> indexes; // modal history entries matched by 'expect messagebox'
};

bool matches(const sim::ModalView& v, const Args& a) {
    if (v.kind != sim::ModalKind::MessageBox)
        return false;
    if (a.has("caption") && v.caption != a.wide("caption"))
        return false;
    if (a.has("message") && v.text != a.wide("message"))
        return false;
    return true;
}

std::string buttonsOf(const sim::ModalView& v) {
    std::string out;
    for (const auto& c : v.controls) {
        if (c.className != u"Button" || !c.visible)
            continue;
        if (!out.empty())
            out += ",";
        out += plat::toNarrow(c.text);
    }
    return out;
}

std::string seenBoxes(const std::vector<sim::ModalView>& history) {
    std::string out;
    for (const auto& v : history) {
        if (v.kind != sim::ModalKind::MessageBox)
            continue;
        out += "\n  " + quoted(plat::toNarrow(v.caption)) + ": " + quoted(plat::toNarrow(v.text));
    }
    return out.empty() ? "; no message box has opened" : "; message boxes so far:" + out;
}

// The title of the window that owned a box when it opened ("none" without one): a modal of
// the program as it opened, or a window still there.
std::string ownerOf(Session& s, const std::vector<sim::ModalView>& history,
                    const sim::ModalView& box) {
    if (box.owner == 0)
        return "none";
    for (const auto& v : history)
        if (v.window == box.owner)
            return plat::toNarrow(v.caption);
    return plat::toNarrow(s.pc().windowText(box.owner));
}

std::string what(const Args& a) {
    std::string out = "a message box " + quoted(a.text("caption"));
    if (a.has("message"))
        out += " saying " + quoted(a.text("message"));
    return out;
}

// Queues a script entry for the next matching box and checks at the end that it was used.
void queue(Session& s, const Args& a, bool hold) {
    sim::ScriptEntry entry;
    entry.kind = sim::ModalKind::MessageBox;
    entry.caption = a.wide("caption");
    if (a.has("message"))
        entry.text = a.wide("message");
    entry.hold = hold;
    entry.label =
        "line " + std::to_string(s.line()) + ": " + (hold ? "hold " : "answer ") + what(a);
    const std::string description = what(a);
    const int line = s.line();
    if (hold) {
        // A held box gets no action from its entry; it was used if such a box opened after
        // the entry was queued.
        const std::size_t openedBefore = s.pc().modalCount();
        s.atEnd([a, description, line, openedBefore](Session& session) {
            if (session.pc().modalOpenedSince(
                    openedBefore, [&a](const sim::ModalView& v) { return matches(v, a); }))
                return;
            session.fail(description + " never opened (it was to be held from line " +
                         std::to_string(line) + ")");
        });
    } else {
        auto used = std::make_shared<std::atomic<bool>>(false);
        const plat::String button = a.wide("button");
        entry.act = [used, button](sim::ModalContext& m) {
            *used = true;
            m.pressButton(button);
        };
        s.atEnd([used, description, line](Session& session) {
            if (!*used) {
                session.fail(description + " never opened (the answer queued on line " +
                             std::to_string(line) + " was not used)");
            }
        });
    }
    s.pc().script(std::move(entry));
    s.say(std::string(hold ? "will hold " : "will answer ") + description +
          (hold ? " open" : " with " + quoted(a.text("button"))));
}

} // namespace

void registerModalSteps(StepTable& table) {
    table.add({
        .name = "answer messagebox",
        .forms = {"<caption> [text <message>] press <button>"},
        .help = "The next message box with this caption (and text) that opens is answered by\n"
                "pressing the button with this label. Queue it before the step that opens it;\n"
                "a box that no answer matches fails the scenario, as does an unused answer.",
        .run = [](Session& s, const Args& a) { queue(s, a, false); },
    });

    table.add({
        .name = "hold messagebox",
        .forms = {"<caption> [text <message>]"},
        .help = "The next message box with this caption (and text) stays open until a 'press'\n"
                "step answers it; meanwhile the program keeps handling messages.",
        .run = [](Session& s, const Args& a) { queue(s, a, true); },
    });

    table.add({
        .name = "press",
        .forms = {"<button>"},
        .help = "Presses the button with this label in the innermost open (held) modal.",
        .run =
            [](Session& s, const Args& a) {
                if (!s.settle())
                    return;
                const auto open = s.pc().openModals();
                if (open.empty()) {
                    s.fail("no modal is open to press " + quoted(a.text("button")) + " in");
                    return;
                }
                const sim::ModalView& top = open.back();
                if (!top.button(a.wide("button"))) {
                    s.fail(quoted(plat::toNarrow(top.caption)) + " has no button " +
                           quoted(a.text("button")) + " (buttons: " + buttonsOf(top) + ")");
                    return;
                }
                const plat::String button = a.wide("button");
                s.pc().actOnTopModal([&button](sim::ModalContext& m) { m.pressButton(button); });
                s.say("pressed " + quoted(a.text("button")) + " in " +
                      quoted(plat::toNarrow(top.caption)));
                s.settle();
            },
    });

    table.add({
        .name = "expect messagebox",
        .forms = {"<caption> [text <message>] [style <flags:uint>] [owner <owner>] [buttons "
                  "<labels>] [times <count:uint>]"},
        .help = "A message box with this caption (and text, MB_* style, owner window by its\n"
                "title or 'none', comma-separated button labels) has opened. Without 'times',\n"
                "each such step takes the next matching box the previous ones did not take;\n"
                "with it, exactly that many opened in all.",
        .run =
            [](Session& s, const Args& a) {
                const auto history = s.pc().modalHistory();
                if (a.has("times")) {
                    std::size_t count = 0;
                    for (const auto& v : history)
                        count += matches(v, a) ? 1 : 0;
                    if (count != static_cast<std::size_t>(a.number("count"))) {
                        s.fail(what(a) + " opened " + std::to_string(count) + " times, not " +
                               a.text("count") + seenBoxes(history));
                        return;
                    }
                    s.say("ok: " + what(a) + " opened " + std::to_string(count) + " times");
                    return;
                }
                auto& claimed = s.state<Claimed>().indexes;
                for (std::size_t i = 0; i < history.size(); ++i) {
                    if (claimed.count(i) || !matches(history[i], a))
                        continue;
                    claimed.insert(i);
                    const sim::ModalView& v = history[i];
                    if (a.has("flags") && v.style != a.number("flags")) {
                        char buf[64];
                        std::snprintf(buf, sizeof buf, "its style is 0x%X, not 0x%X", v.style,
                                      static_cast<unsigned>(a.number("flags")));
                        s.fail(what(a) + " opened, but " + buf);
                        return;
                    }
                    if (a.has("owner")) {
                        const std::string owner = ownerOf(s, history, v);
                        if (owner != a.text("owner")) {
                            s.fail(what(a) + " opened, but its owner is " + quoted(owner) +
                                   ", not " + quoted(a.text("owner")));
                            return;
                        }
                    }
                    if (a.has("labels") && buttonsOf(v) != a.text("labels")) {
                        s.fail(what(a) + " opened, but its buttons are " + quoted(buttonsOf(v)) +
                               ", not " + quoted(a.text("labels")));
                        return;
                    }
                    s.say("ok: " + what(a) + " opened");
                    return;
                }
                s.fail(what(a) + " has not opened" +
                       (claimed.empty() ? "" : " (besides those matched before)") +
                       seenBoxes(history));
            },
    });

    table.add({
        .name = "expect no-messagebox",
        .forms = {"[<caption>]"},
        .help = "No message box (with this caption) has opened since the start.",
        .run =
            [](Session& s, const Args& a) {
                for (const auto& v : s.pc().modalHistory()) {
                    if (!matches(v, a))
                        continue;
                    s.fail("a message box " + quoted(plat::toNarrow(v.caption)) +
                           " opened, saying " + quoted(plat::toNarrow(v.text)));
                    return;
                }
                s.say(a.has("caption")
                          ? "ok: no message box " + quoted(a.text("caption")) + " opened"
                          : std::string("ok: no message box opened"));
            },
    });
}

} // namespace scn
