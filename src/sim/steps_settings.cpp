// Steps of the user in the settings: opening them from the tray icon, switching tabs, reading
// a page or a page's dialog as text, and selecting, clicking, ticking and typing in it. The
// user acts on the innermost open window: the sheet's page shown, or a dialog it opened
// (held open by 'hold dialog', answered through the same script as message boxes).
#include "scenario.h"

#include "constants.h"
#include "resource.h"
#include "text.h"

#include <atomic>
#include <memory>
#include <optional>

namespace scn {

namespace {

constexpr int kTabControl = 0x3020;
constexpr std::uint32_t kButtonTypeMask = 0x000F;
constexpr std::uint32_t kCheckBox = 0x0002;
constexpr std::uint32_t kAutoCheckBox = 0x0003;
constexpr std::uint32_t kGroupBox = 0x0007;
constexpr std::uint32_t kNoPrefix = 0x0080; // SS_NOPREFIX: an "&" is shown as it is
// A sheet's own controls come first in its view: the tabs, OK, Cancel, Apply and Help.
constexpr std::size_t kSheetOwnControls = 5;

// A control's text as shown: "&" marks the next letter as the accelerator ("&&" is one "&").
plat::String visibleText(std::u16string_view text) {
    plat::String out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

// A label as a person names it: as shown, without blanks or a colon at the end.
std::string plainLabel(std::u16string_view text) {
    plat::String out = visibleText(text);
    auto trim = [&] {
        while (!out.empty() && (out.back() == u' ' || out.back() == u'\t'))
            out.pop_back();
        while (!out.empty() && (out.front() == u' ' || out.front() == u'\t'))
            out.erase(out.begin());
    };
    trim();
    if (!out.empty() && out.back() == u':')
        out.pop_back();
    trim();
    return plat::toUtf8(out);
}

std::string shown(std::u16string_view text) {
    return quoted(plat::toUtf8(visibleText(text)));
}

bool isButton(const sim::ControlView& c) {
    return c.className == u"Button";
}
bool isGroupBox(const sim::ControlView& c) {
    return isButton(c) && (c.style & kButtonTypeMask) == kGroupBox;
}
bool isCheckBox(const sim::ControlView& c) {
    const std::uint32_t type = c.style & kButtonTypeMask;
    return isButton(c) && (type == kCheckBox || type == kAutoCheckBox);
}
bool isLabel(const sim::ControlView& c) {
    return c.className == u"Static" || isGroupBox(c);
}

std::optional<sim::ModalView> topModal(Session& s) {
    const auto open = s.pc().openModals();
    if (open.empty()) {
        s.fail("no dialog or settings window is open");
        return std::nullopt;
    }
    return open.back();
}

// A control by its id, its own label (buttons, check boxes) or the label just before it
// (a static naming a list, a combo box or an edit box).
const sim::ControlView* findControl(const sim::ModalView& v, const std::string& name) {
    if (const auto id = parseInteger(name))
        return v.control(static_cast<int>(*id));
    const std::string wanted = plainLabel(plat::fromUtf8(name));
    for (const auto& c : v.controls)
        if (isButton(c) && !isGroupBox(c) && c.visible && plainLabel(c.text) == wanted)
            return &c;
    for (std::size_t i = 0; i < v.controls.size(); ++i) {
        if (!isLabel(v.controls[i]) || plainLabel(v.controls[i].text) != wanted)
            continue;
        for (std::size_t j = i + 1; j < v.controls.size(); ++j)
            if (!isLabel(v.controls[j]))
                return &v.controls[j];
    }
    return nullptr;
}

std::string windowName(const sim::ModalView& v) {
    return "[" + plat::toUtf8(v.caption) + "]";
}

// Once the program is idle: the innermost window and its control that the step names in
// <control>; nothing (with a failure) when either is missing.
std::optional<std::pair<sim::ModalView, sim::ControlView>> namedControl(Session& s,
                                                                        const Args& a) {
    if (!s.settle())
        return std::nullopt;
    const auto v = topModal(s);
    if (!v)
        return std::nullopt;
    const sim::ControlView* c = findControl(*v, a.text("control"));
    if (!c) {
        s.fail(windowName(*v) + " has no control " + quoted(a.text("control")) +
               " (by id, label, or the label before it)");
        return std::nullopt;
    }
    return std::make_pair(*v, *c);
}

std::string itemsText(const sim::ControlView& c) {
    std::string out;
    for (const auto& item : c.items)
        out += (out.empty() ? "" : ", ") + quoted(plat::toUtf8(item));
    return out.empty() ? "(empty)" : out;
}

std::string selectedText(const sim::ControlView& c) {
    if (c.selection < 0 || static_cast<std::size_t>(c.selection) >= c.items.size())
        return "nothing selected";
    return "selected " + quoted(plat::toUtf8(c.items[static_cast<std::size_t>(c.selection)]));
}

std::string controlLine(const sim::ControlView& c) {
    std::string line;
    if (isCheckBox(c))
        line = std::string(c.checked ? "[x] " : "[ ] ") + shown(c.text);
    else if (isButton(c))
        line = "button " + shown(c.text);
    else if (c.className == u"Edit")
        line = "edit " + quoted(plat::toUtf8(c.text));
    else if (c.className == u"ListBox")
        line = "list " + itemsText(c) + ", " + selectedText(c);
    else if (c.className == u"ComboBox")
        line = "combo " + itemsText(c) + ", " + selectedText(c);
    else if (c.style & kNoPrefix)
        line = "text " + quoted(plat::toUtf8(c.text));
    else
        line = "text " + shown(c.text);
    if (!c.enabled)
        line += " (disabled)";
    if (c.isDefault)
        line += " (default)";
    return line;
}

// The window as its user sees it, one line per visible control.
std::vector<std::string> windowText(const sim::ModalView& v) {
    std::vector<std::string> lines;
    std::size_t first = 0;
    std::string buttons;
    if (v.kind == sim::ModalKind::PropertySheet && v.controls.size() >= kSheetOwnControls) {
        first = kSheetOwnControls;
        const sim::ControlView& tabs = v.controls[0];
        std::string header = windowName(v) + " tabs " + itemsText(tabs);
        if (tabs.selection >= 0 && static_cast<std::size_t>(tabs.selection) < tabs.items.size())
            header += ", page " +
                      quoted(plat::toUtf8(tabs.items[static_cast<std::size_t>(tabs.selection)]));
        lines.push_back(header);
        for (std::size_t i = 1; i < kSheetOwnControls; ++i)
            if (v.controls[i].visible)
                buttons += (buttons.empty() ? "" : ", ") + shown(v.controls[i].text);
    } else {
        lines.push_back(windowName(v));
    }
    for (std::size_t i = first; i < v.controls.size(); ++i) {
        const sim::ControlView& c = v.controls[i];
        if (!c.visible || (isGroupBox(c) && c.text.empty()))
            continue;
        lines.push_back("  " + controlLine(c));
    }
    if (!buttons.empty())
        lines.push_back("  sheet buttons " + buttons);
    return lines;
}

// Input on the innermost window, handled by its own thread; the step returns once the
// program is idle again, also when the input opened another window (held or answered).
void act(Session& s, std::function<void(sim::ModalContext&)> action) {
    s.pc().postToTopModal(action);
    s.settle();
}

// The user's input on the control the step names in the innermost window; `input` gets the
// control's id.
void actOnControl(Session& s, const Args& a,
                  const std::function<void(sim::ModalContext&, int)>& input) {
    const auto found = namedControl(s, a);
    if (!found)
        return;
    const int id = found->second.id;
    act(s, [id, input](sim::ModalContext& m) { input(m, id); });
}

// The next modal of this kind and caption stays open for the steps below; one that never
// opens fails the scenario at its end.
void holdNext(Session& s, sim::ModalKind kind, const plat::String& caption,
              const std::string& what) {
    sim::ScriptEntry entry;
    entry.kind = kind;
    entry.caption = caption;
    entry.hold = true;
    entry.label = "line " + std::to_string(s.line()) + ": hold " + what;
    s.pc().script(std::move(entry));
    const std::size_t openedBefore = s.pc().modalCount();
    const int line = s.line();
    s.atEnd([kind, caption, what, openedBefore, line](Session& session) {
        if (session.pc().modalOpenedSince(openedBefore, [&](const sim::ModalView& v) {
                return v.kind == kind && v.caption == caption;
            }))
            return;
        session.fail(what + " never opened (it was to be held from line " + std::to_string(line) + ")");
    });
}

struct HelpSeen {
    std::size_t journalLinesChecked = 0;
};

std::string programFolder() {
    const std::string program = plat::toUtf8(sim::SimPc::kProgramPath);
    return program.substr(0, program.find_last_of('\\') + 1);
}

} // namespace

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
