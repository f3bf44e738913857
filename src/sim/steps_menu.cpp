// Steps about the tray menu as the user sees it: opening it with a click on the icon, the
// menu printed as an indented tree, an item chosen by its path of labels, the menu dismissed,
// and the whole tree compared with one written in the scenario.
//
// The tree's lines, two blanks of indentation per submenu level:
//     (*) Kitchen              a radio item with its bullet ("[x]" for a plain check mark)
//     Media Player Output >    an item that opens a submenu; its items follow, indented
//     ---                      a separator
//     Settings (default)       the default item, shown bold; "(grayed)" for a grayed item
#include "steps_menu.h"

#include "constants.h"
#include "text.h"

#include <algorithm>
#include <vector>

namespace scn {

namespace {

// A left click opens the menu once the double-click time has passed; the user waits for it
// in these steps, and no longer than this.
constexpr std::uint32_t waitStepMs = 100;
constexpr std::uint32_t longestWaitMs = 10000;

void render(const std::vector<sim::MenuNode>& items, std::size_t depth,
            std::vector<std::string>& out) {
    for (const auto& item : items) {
        std::string line(2 * depth, ' ');
        if (item.separator) {
            line += "---";
        } else {
            if (item.checked)
                line += item.radio ? "(*) " : "[x] ";
            line += plat::toUtf8(item.text);
            if (item.popup)
                line += " >";
            if (item.isDefault)
                line += " (default)";
            if (!item.enabled)
                line += " (grayed)";
        }
        out.push_back(std::move(line));
        if (item.popup && depth < 16)
            render(item.items, depth + 1, out);
    }
}

std::vector<std::string> treeLines(const sim::ModalView& menu) {
    std::vector<std::string> lines;
    render(menu.menu, 0, lines);
    return lines;
}

// For failure messages, which keep their own indentation.
std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines)
        out += "\n  " + line;
    return out;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.erase(0, 1);
    return text;
}

// "A > B > C": the labels, blanks around each dropped. A label may itself hold '>'
// ("<no receivers>"); only a '>' with a blank on each side separates.
std::vector<std::string> labelsOf(const std::string& path) {
    std::vector<std::string> labels;
    std::size_t at = 0;
    while (true) {
        const std::size_t sep = path.find(" > ", at);
        labels.push_back(trimmed(path.substr(at, sep == std::string::npos ? sep : sep - at)));
        if (sep == std::string::npos)
            return labels;
        at = sep + 3;
    }
}

// The open menu, or a failure saying what the step wanted it for.
std::optional<sim::ModalView> menuFor(Session& s, const std::string& purpose) {
    if (!s.settle())
        return std::nullopt;
    auto menu = openMenu(s);
    if (!menu)
        s.fail("no menu is open to " + purpose + " (see 'open tray-menu')");
    return menu;
}

} // namespace

std::optional<sim::ModalView> openMenu(Session& s) {
    const auto open = s.pc().openModals();
    if (open.empty() || open.back().kind != sim::ModalKind::PopupMenu)
        return std::nullopt;
    return open.back();
}

bool openTrayMenu(Session& s, bool leftClick) {
    if (!s.settle())
        return false;
    const auto icons = s.pc().trayIcons();
    if (icons.empty()) {
        s.fail("the notification area shows no icon to click");
        return false;
    }
    sim::ScriptEntry entry;
    entry.kind = sim::ModalKind::PopupMenu;
    entry.hold = true;
    entry.label = "line " + std::to_string(s.line()) + ": the tray menu, held open";
    s.pc().script(std::move(entry));

    const std::uint32_t down = leftClick ? WM_LBUTTONDOWN : WM_RBUTTONDOWN;
    const std::uint32_t up = leftClick ? WM_LBUTTONUP : WM_RBUTTONUP;
    if (!s.pc().clickTrayIcon(down) || !s.pc().clickTrayIcon(up)) {
        s.fail("the tray icon went away during the click");
        return false;
    }
    s.say(std::string("clicked ") + (leftClick ? "left" : "right") + " on the tray icon");
    if (!s.settle())
        return false;
    std::uint32_t waited = 0;
    while (leftClick && !openMenu(s) && waited < longestWaitMs) {
        s.pc().advance(waitStepMs);
        waited += waitStepMs;
        if (!s.settle())
            return false;
    }
    if (!openMenu(s)) {
        s.fail(leftClick
                   ? "no menu opened within " + std::to_string(longestWaitMs) + " ms of the click"
                   : std::string("no menu opened"));
        return false;
    }
    if (leftClick)
        s.say("the menu opened " + std::to_string(waited) + " ms after the click");
    return true;
}

bool chooseMenuItem(Session& s, const std::string& path) {
    const auto menu = menuFor(s, "choose " + quoted(path) + " in");
    if (!menu)
        return false;
    const std::vector<std::string> labels = labelsOf(path);
    // Follow the path in what the user sees, so that a wrong path is told plainly.
    const std::vector<sim::MenuNode>* level = &menu->menu;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const sim::MenuNode* found = nullptr;
        std::string shown;
        for (const auto& item : *level) {
            if (item.separator)
                continue;
            shown += (shown.empty() ? "" : ", ") + quoted(plat::toUtf8(item.text));
            if (!found && plat::toUtf8(item.text) == labels[i])
                found = &item;
        }
        if (!found) {
            s.fail("the menu has no item " + quoted(labels[i]) + " there; it shows " + shown);
            return false;
        }
        if (!found->enabled) {
            s.fail(quoted(labels[i]) + " is grayed: it cannot be chosen");
            return false;
        }
        const bool last = i + 1 == labels.size();
        if (last && found->popup) {
            s.fail(quoted(labels[i]) + " opens a submenu; choose one of its items");
            return false;
        }
        if (!last && !found->popup) {
            s.fail(quoted(labels[i]) + " has no submenu");
            return false;
        }
        level = &found->items;
    }
    std::vector<plat::String> wide;
    for (const auto& label : labels)
        wide.push_back(plat::fromUtf8(label));
    s.pc().actOnTopModal([&wide](sim::ModalContext& m) { m.chooseMenuPath(wide); });
    s.say("chose " + quoted(path));
    return s.settle();
}

void registerMenuSteps(StepTable& table) {
    table.add({
        .name = "open tray-menu",
        .forms = {"[<button:right|left>]"},
        .help = "The user opens the tray menu: a right click on the notification-area icon, or\n"
                "a left click and then waiting out the double-click time (virtual time passes\n"
                "until the menu opens). The menu stays open for the menu steps that follow.",
        .run =
            [](Session& s, const Args& a) {
                openTrayMenu(s, a.has("button") && a.text("button") == "left");
            },
    });

    table.add({
        .name = "show tray-menu",
        .help = "Prints the open menu as an indented tree: '(*)' a radio item's bullet, '[x]' a\n"
                "check mark, '>' a submenu (its items follow, indented), '---' a separator,\n"
                "'(default)' the bold default item, '(grayed)' an item that cannot be chosen.",
        .run =
            [](Session& s, const Args&) {
                const auto menu = menuFor(s, "show");
                if (!menu)
                    return;
                s.say("the menu shows:");
                for (const auto& line : treeLines(*menu))
                    s.say("  " + line);
            },
    });

    table.add({
        .name = "expect tray-menu",
        .help = "The open menu is exactly the tree in the block below the step, written as\n"
                "'show tray-menu' prints it (blanks at the ends of its lines do not count).",
        .run =
            [](Session& s, const Args& a) {
                const auto menu = menuFor(s, "compare");
                if (!menu)
                    return;
                std::vector<std::string> expected;
                if (a.has("block")) {
                    std::string line;
                    for (char c : a.text("block") + "\n") {
                        if (c != '\n') {
                            line += c;
                            continue;
                        }
                        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
                            line.pop_back();
                        expected.push_back(std::move(line));
                        line.clear();
                    }
                }
                const std::vector<std::string> shown = treeLines(*menu);
                for (std::size_t i = 0; i < std::max(expected.size(), shown.size()); ++i) {
                    const std::string want = i < expected.size() ? expected[i] : "(nothing)";
                    const std::string got = i < shown.size() ? shown[i] : "(nothing)";
                    if (want != got) {
                        s.fail("line " + std::to_string(i + 1) + " of the menu is " + quoted(got) +
                               ", not " + quoted(want) + "; the menu shows:" + joined(shown));
                        return;
                    }
                }
                s.say("ok: the menu shows the " + std::to_string(shown.size()) + " lines expected");
            },
        .block = true,
    });

    table.add({
        .name = "choose menu-item",
        .forms = {"<path>"},
        .help = "The user chooses an item of the open menu by its labels from the top level,\n"
                "separated by ' > ' (\"Media Player Output > Winamp > My Computer\"). The menu\n"
                "closes and its command reaches the program; queue answers to what it asks\n"
                "first.",
        .run = [](Session& s, const Args& a) { chooseMenuItem(s, a.text("path")); },
    });

    table.add({
        .name = "dismiss tray-menu",
        .help = "The user closes the open menu without choosing (Escape).",
        .run =
            [](Session& s, const Args&) {
                if (!menuFor(s, "dismiss"))
                    return;
                s.pc().actOnTopModal([](sim::ModalContext& m) { m.pressEscape(); });
                s.say("dismissed the menu");
                s.settle();
            },
    });
}

} // namespace scn
