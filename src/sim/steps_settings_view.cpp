// The settings steps' reading of the screen: the innermost window and its controls as a
// person names and reads them, and the user's input on them.
#include "steps_settings.h"

#include "constants.h"
#include "text.h"

#include <memory>

namespace scn::settings {

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

std::string programFolder() {
    const std::string program = plat::toUtf8(sim::SimPc::kProgramPath);
    return program.substr(0, program.find_last_of('\\') + 1);
}

} // namespace scn::settings
