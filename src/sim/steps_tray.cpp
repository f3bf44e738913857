// Steps about the notification area, as the user sees it and clicks it.
#include "scenario.h"

#include "constants.h"
#include "text.h"

#include <vector>

namespace scn {

namespace {

std::string describeIcon(const sim::TrayIconView& icon) {
    return "icon " + std::to_string(icon.iconResourceId) + " with tip " +
           quoted(plat::toUtf8(icon.tip));
}

const char* mouseMessageName(std::uint32_t msg) {
    switch (msg) {
    case WM_LBUTTONDOWN:
        return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP:
        return "WM_LBUTTONUP";
    case WM_LBUTTONDBLCLK:
        return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN:
        return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP:
        return "WM_RBUTTONUP";
    default:
        return "?";
    }
}

// The mouse messages the shell passes to an icon's callback for one gesture, in groups: the
// program handles each group before the next arrives, as a person's second press comes
// after the program has seen the first. Releases are sent as the shell sends them; the
// program must ignore them.
std::vector<std::vector<std::uint32_t>> gesture(const std::string& button) {
    if (button == "left")
        return {{WM_LBUTTONDOWN, WM_LBUTTONUP}};
    if (button == "double")
        return {{WM_LBUTTONDOWN, WM_LBUTTONUP}, {WM_LBUTTONDBLCLK, WM_LBUTTONUP}};
    return {{WM_RBUTTONDOWN, WM_RBUTTONUP}};
}

} // namespace

void registerTraySteps(StepTable& table) {
    table.add({
        .name = "click tray-icon",
        .forms = {"<button:left|double|right> [if-shown]"},
        .help = "The user clicks the notification-area icon; the shell posts the icon's callback\n"
                "message with the mouse messages: left WM_LBUTTONDOWN, WM_LBUTTONUP; double the\n"
                "same, then WM_LBUTTONDBLCLK, WM_LBUTTONUP; right WM_RBUTTONDOWN, WM_RBUTTONUP.\n"
                "No virtual time passes (a single click's menu waits for 'advance'). With no icon\n"
                "shown the step fails, since nobody can click it, unless written 'if-shown'.",
        .run =
            [](Session& s, const Args& a) {
                const std::string button = a.text("button");
                const auto icons = s.pc().trayIcons();
                if (icons.empty()) {
                    if (a.has("if-shown")) {
                        s.say("the notification area is empty: nothing to click");
                        return;
                    }
                    s.fail("the notification area shows no icon to click " + button +
                           " (write 'if-shown' for a click that may find none)");
                    return;
                }
                const sim::TrayIconView& icon = icons.front();
                if (icon.callbackMessage == 0) {
                    s.say(describeIcon(icon) +
                          " has no callback message: the shell tells nobody of the click");
                    return;
                }
                s.say("clicked " + button + " on " + describeIcon(icon));
                for (const auto& group : gesture(button)) {
                    std::string posted;
                    for (const std::uint32_t msg : group) {
                        if (!s.pc().clickTrayIcon(msg)) {
                            s.fail("the icon went away during the click, before " +
                                   std::string(mouseMessageName(msg)));
                            return;
                        }
                        posted += std::string(posted.empty() ? "" : ", ") + mouseMessageName(msg);
                    }
                    s.say("the shell posted " + messageName(icon.callbackMessage) + " with " +
                          posted);
                    if (!s.settle())
                        return;
                }
            },
    });

    table.add({
        .name = "expect tray-icon",
        .forms = {"[image <resource:uint>] [tip <tip>]"},
        .help = "The notification area shows an icon (made from this icon resource, with this\n"
                "tip).",
        .run =
            [](Session& s, const Args& a) {
                const auto icons = s.pc().trayIcons();
                std::string shown;
                for (const auto& icon : icons) {
                    if (a.has("resource") && icon.iconResourceId != a.number("resource")) {
                        shown += "\n  " + describeIcon(icon);
                        continue;
                    }
                    if (a.has("tip") && icon.tip != a.wide("tip")) {
                        shown += "\n  " + describeIcon(icon);
                        continue;
                    }
                    s.say("ok: the notification area shows " + describeIcon(icon));
                    return;
                }
                std::string wanted = "an icon";
                if (a.has("resource"))
                    wanted += " from icon resource " + a.text("resource");
                if (a.has("tip"))
                    wanted += " with tip " + quoted(a.text("tip"));
                s.fail("the notification area shows no " + wanted.substr(3) +
                       (shown.empty() ? "; it is empty" : "; it shows:" + shown));
            },
    });

    table.add({
        .name = "expect no-tray-icon",
        .help = "The notification area shows no icon.",
        .run =
            [](Session& s, const Args&) {
                const auto icons = s.pc().trayIcons();
                if (!icons.empty()) {
                    s.fail("the notification area shows " + describeIcon(icons.front()));
                    return;
                }
                s.say("ok: the notification area is empty");
            },
    });
}

} // namespace scn
