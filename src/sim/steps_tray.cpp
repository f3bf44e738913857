// Steps about the notification area, as the user sees it.
#include "scenario.h"

#include "text.h"

namespace scn {

namespace {

std::string describeIcon(const sim::TrayIconView& icon) {
    return "icon " + std::to_string(icon.iconResourceId) + " with tip " +
           quoted(plat::toUtf8(icon.tip));
}

} // namespace

void registerTraySteps(StepTable& table) {
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
