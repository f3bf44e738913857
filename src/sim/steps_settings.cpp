// Steps of the user in the settings: opening them from the tray icon, switching tabs, reading
// a page or a page's dialog as text, and selecting, clicking, ticking and typing in it. The
// user acts on the innermost open window: the sheet's page shown, or a dialog it opened
// (held open by 'hold dialog', answered through the same script as message boxes).
#include "steps_settings.h"

#include "constants.h"
#include "resource.h"
#include "text.h"

#include <atomic>
#include <memory>
#include <optional>

namespace scn {

using namespace settings;

void registerSettingsSteps(StepTable& table) {
    table.add({
        .name = "open settings",
        .help = "The user double-clicks the notification-area icon, as one opens the settings;\n"
                "the settings sheet stays open for the steps below until it is closed\n"
                "(click \"Close\", key escape) or the program closes it.",
        .run =
            [](Session& s, const Args&) {
                const plat::String title = s.loadString(IDS_SETTINGS_TITLE);
                if (s.pc().findWindowByTitle(title)) {
                    s.fail("the settings are open already");
                    return;
                }
                if (s.pc().trayIcons().empty()) {
                    s.fail("the notification area shows no icon to double-click");
                    return;
                }
                sim::ScriptEntry entry;
                entry.kind = sim::ModalKind::PropertySheet;
                entry.caption = title;
                entry.hold = true;
                entry.label = "line " + std::to_string(s.line()) + ": the settings";
                s.pc().script(std::move(entry));
                // Two presses, as the shell reports a double click: the second comes once the
                // program has seen the first.
                for (const auto& group : {std::vector<std::uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP},
                                          {WM_LBUTTONDBLCLK, WM_LBUTTONUP}}) {
                    for (const std::uint32_t msg : group)
                        s.pc().clickTrayIcon(msg);
                    if (!s.settle())
                        return;
                }
                const auto open = s.pc().openModals();
                if (open.empty() || open.back().kind != sim::ModalKind::PropertySheet ||
                    open.back().caption != title) {
                    s.fail("the double click opened no settings");
                    return;
                }
                s.say("double-clicked the tray icon: the settings are open");
            },
    });

    table.add({
        .name = "hold settings",
        .help = "The settings sheet, when the program opens it by itself (the transmitter's\n"
                "Connect button), stays open for the steps below. Queue it before the step that\n"
                "opens it; one that never opens fails the scenario.",
        .run =
            [](Session& s, const Args&) {
                holdNext(s, sim::ModalKind::PropertySheet, s.loadString(IDS_SETTINGS_TITLE),
                         "the settings");
                s.say("will hold the settings open");
            },
    });

    table.add({
        .name = "hold dialog",
        .forms = {"<caption>"},
        .help = "The next dialog with this caption (a page's rename, delete or media player\n"
                "dialog) stays open for the steps below. Queue it before the step that opens it;\n"
                "one that never opens fails the scenario.",
        .run =
            [](Session& s, const Args& a) {
                holdNext(s, sim::ModalKind::Dialog, a.wide("caption"),
                         "the dialog " + quoted(a.text("caption")));
                s.say("will hold the dialog " + quoted(a.text("caption")) + " open");
            },
    });

    table.add({
        .name = "tab",
        .forms = {"<label>"},
        .help = "The user clicks the settings tab with this label; the page shown changes\n"
                "if the one shown lets it go.",
        .run =
            [](Session& s, const Args& a) {
                const auto v = topModal(s);
                if (!v)
                    return;
                const sim::ControlView* tabs = v->control(kTabControl);
                if (v->kind != sim::ModalKind::PropertySheet || !tabs) {
                    s.fail(windowName(*v) + " has no tabs");
                    return;
                }
                int index = -1;
                for (std::size_t i = 0; i < tabs->items.size(); ++i)
                    if (plainLabel(tabs->items[i]) == plainLabel(a.wide("label")))
                        index = static_cast<int>(i);
                if (index < 0) {
                    s.fail(windowName(*v) + " has no tab " + quoted(a.text("label")) +
                           " (tabs " + itemsText(*tabs) + ")");
                    return;
                }
                act(s, [index](sim::ModalContext& m) { m.selectItem(kTabControl, index); });
            },
    });

    table.add({
        .name = "show dialog",
        .help = "Prints the innermost open window as its user sees it: for the settings the\n"
                "tabs and the page shown, then each visible control (texts, list and combo\n"
                "box items with the selection, check boxes, disabled buttons).",
        .run =
            [](Session& s, const Args&) {
                if (!s.settle())
                    return;
                if (const auto v = topModal(s))
                    for (auto& line : windowText(*v))
                        s.say(std::move(line));
            },
    });

    table.add({
        .name = "click",
        .forms = {"<control>"},
        .help = "The user clicks a button or check box of the innermost open window, named by\n"
                "its label (\"Rename...\", \"Close\") or its id. A dialog it opens must be held\n"
                "or answered (queue that first).",
        .run =
            [](Session& s, const Args& a) {
                const auto found = namedControl(s, a);
                if (!found)
                    return;
                const sim::ControlView* c = &found->second;
                const int id = c->id;
                s.say("clicked " + quoted(plainLabel(c->text)) + " in " + windowName(found->first));
                act(s, [id](sim::ModalContext& m) { m.pressId(id); });
            },
    });

    table.add({
        .name = "check",
        .forms = {"<control> <state:on|off>"},
        .help = "The user ticks (on) or clears (off) a check box of the innermost open window;\n"
                "a box already in that state is not clicked.",
        .run =
            [](Session& s, const Args& a) {
                const bool on = a.text("state") == "on";
                actOnControl(s, a, [on](sim::ModalContext& m, int id) { m.setChecked(id, on); });
            },
    });

    table.add({
        .name = "select",
        .forms = {"<control> <item>"},
        .help = "The user selects the item with exactly this text in a list or combo box of\n"
                "the innermost open window (the control named by its id or the label before it).",
        .run =
            [](Session& s, const Args& a) {
                const plat::String item = a.wide("item");
                actOnControl(s, a,
                             [item](sim::ModalContext& m, int id) { m.selectItemByText(id, item); });
            },
    });

    table.add({
        .name = "double-click",
        .forms = {"<control> <item>"},
        .help = "The user double-clicks the item with exactly this text in a list box of the\n"
                "innermost open window.",
        .run =
            [](Session& s, const Args& a) {
                const auto found = namedControl(s, a);
                if (!found)
                    return;
                const sim::ControlView* c = &found->second;
                int index = -1;
                for (std::size_t i = 0; i < c->items.size(); ++i)
                    if (c->items[i] == a.wide("item"))
                        index = static_cast<int>(i);
                if (index < 0) {
                    s.fail(quoted(a.text("control")) + " has no item " + quoted(a.text("item")) +
                           " (items " + itemsText(*c) + ")");
                    return;
                }
                const int id = c->id;
                act(s, [id, index](sim::ModalContext& m) { m.doubleClickItem(id, index); });
            },
    });

    table.add({
        .name = "type",
        .forms = {"<control> <text>"},
        .help = "The user replaces the text of an edit box of the innermost open window.",
        .run =
            [](Session& s, const Args& a) {
                const plat::String text = a.wide("text");
                actOnControl(s, a, [text](sim::ModalContext& m, int id) { m.setText(id, text); });
            },
    });

    table.add({
        .name = "key",
        .forms = {"<key:enter|escape>"},
        .help = "The user presses Enter or Escape in the innermost open window.",
        .run =
            [](Session& s, const Args& a) {
                if (!s.settle())
                    return;
                const bool enter = a.text("key") == "enter";
                act(s, [enter](sim::ModalContext& m) {
                    if (enter)
                        m.pressEnter();
                    else
                        m.pressEscape();
                });
            },
    });

    table.add({
        .name = "help on",
        .forms = {"<control>"},
        .help = "The user asks for help on a control of the innermost open window: F1 with the\n"
                "focus on it, or the caption's \"?\" button and a click on it (WM_HELP).",
        .run =
            [](Session& s, const Args& a) {
                actOnControl(s, a, [](sim::ModalContext& m, int id) { m.requestHelp(id); });
            },
    });

    table.add({
        .name = "expect page",
        .forms = {"<label>"},
        .help = "The settings show the page of the tab with this label.",
        .run =
            [](Session& s, const Args& a) {
                if (!s.settle())
                    return;
                const auto open = s.pc().openModals();
                for (auto it = open.rbegin(); it != open.rend(); ++it) {
                    const sim::ControlView* tabs = it->control(kTabControl);
                    if (it->kind != sim::ModalKind::PropertySheet || !tabs)
                        continue;
                    const std::string shown =
                        tabs->selection >= 0 &&
                                static_cast<std::size_t>(tabs->selection) < tabs->items.size()
                            ? plainLabel(tabs->items[static_cast<std::size_t>(tabs->selection)])
                            : std::string();
                    if (shown != plainLabel(a.wide("label"))) {
                        s.fail("the settings show the page " + quoted(shown) + ", not " +
                               quoted(a.text("label")));
                        return;
                    }
                    s.say("ok: the settings show the page " + quoted(shown));
                    return;
                }
                s.fail("the settings are not open");
            },
    });

    table.add({
        .name = "expect control",
        .forms = {"<control> [text <text>] [items <items>] [selected <item>] [enabled|disabled] "
                  "[checked|unchecked] [visible|hidden]"},
        .help = "A control of the innermost open window (named by its id, its label or the\n"
                "label before it) shows this text, these items (\", \"-separated, \"\" for\n"
                "none), this selected item (\"\" for none), and is in these states.",
        .run =
            [](Session& s, const Args& a) {
                const auto found = namedControl(s, a);
                if (!found)
                    return;
                const sim::ControlView* c = &found->second;
                const std::string name = quoted(a.text("control"));
                if (a.has("text") && c->text != a.wide("text")) {
                    s.fail(name + " shows " + quoted(plat::toUtf8(c->text)) + ", not " +
                           quoted(a.text("text")));
                    return;
                }
                if (a.has("items")) {
                    std::string shown;
                    for (const auto& item : c->items)
                        shown += (shown.empty() ? "" : ", ") + plat::toUtf8(item);
                    if (shown != a.text("items")) {
                        s.fail(name + " holds " + itemsText(*c) + ", not " +
                               quoted(a.text("items")));
                        return;
                    }
                }
                if (a.has("selected")) {
                    const bool none = c->selection < 0 ||
                                      static_cast<std::size_t>(c->selection) >= c->items.size();
                    const plat::String shown =
                        none ? plat::String() : c->items[static_cast<std::size_t>(c->selection)];
                    if (shown != a.wide("item")) {
                        s.fail(name + " has " + selectedText(*c) + ", not " +
                               quoted(a.text("item")));
                        return;
                    }
                }
                const struct {
                    const char* yes;
                    const char* no;
                    bool state;
                } states[] = {{"enabled", "disabled", c->enabled},
                              {"checked", "unchecked", c->checked != 0},
                              {"visible", "hidden", c->visible}};
                for (const auto& st : states) {
                    if ((a.has(st.yes) && !st.state) || (a.has(st.no) && st.state)) {
                        s.fail(name + " is " + (st.state ? st.yes : st.no));
                        return;
                    }
                }
                s.say("ok: " + controlLine(*c));
            },
    });

    table.add({
        .name = "expect help",
        .forms = {"<topic> [popup <string:uint>]"},
        .help = "The next help request not checked yet opened this topic (\"::/Devices.htm\")\n"
                "of the help file in the program's folder; with 'popup', a popup showing this\n"
                "text id of the topic, with default colours and margins, for the control of\n"
                "that id (each control's help id is its own id).",
        .run =
            [](Session& s, const Args& a) {
                if (!s.settle())
                    return;
                auto& seen = s.state<HelpSeen>();
                const auto journal = s.pc().journal();
                const std::string file =
                    programFolder() + "Quorvane Auravo.chm" + a.text("topic");
                for (std::size_t i = seen.journalLinesChecked; i < journal.size(); ++i) {
                    const std::string& line = journal[i];
                    if (line.rfind("help: ", 0) != 0)
                        continue;
                    seen.journalLinesChecked = i + 1;
                    std::string wanted = "help: \"" + file + "\" command ";
                    wanted += a.has("popup")
                                  ? "14 popup instance 0x0 string " + a.text("string") +
                                        " at (640,400) colours -1/-1 margins -1,-1,-1,-1 caller "
                                        "control " + a.text("string")
                                  : "0 data 0x0";
                    if (line != wanted) {
                        s.fail("the help request was\n  " + line + "\nnot\n  " + wanted);
                        return;
                    }
                    s.say("ok: help opened " + quoted(a.text("topic")));
                    return;
                }
                s.fail("no help was requested (since the last 'expect help')");
            },
    });
}

} // namespace scn
