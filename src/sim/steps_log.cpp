// Steps that check the program's diagnostic log, which the product discards and a run
// captures.
#include "scenario.h"

namespace scn {

void registerLogSteps(StepTable& table) {
    table.add({
        .name = "expect log",
        .forms = {"<text>"},
        .help = "Some line of the diagnostic log so far contains this text.",
        .run =
            [](Session& s, const Args& a) {
                const auto lines = s.logLines();
                for (const auto& line : lines) {
                    if (line.find(a.text("text")) != std::string::npos) {
                        s.say("ok: logged " + quoted(line));
                        return;
                    }
                }
                s.fail("no line of the log contains " + quoted(a.text("text")) + " (" +
                       std::to_string(lines.size()) + " lines logged)");
            },
    });

    table.add({
        .name = "expect no-log",
        .forms = {"<text>"},
        .help = "No line of the diagnostic log so far contains this text.",
        .run =
            [](Session& s, const Args& a) {
                for (const auto& line : s.logLines()) {
                    if (line.find(a.text("text")) != std::string::npos) {
                        s.fail("the log has " + quoted(line));
                        return;
                    }
                }
                s.say("ok: nothing logged contains " + quoted(a.text("text")));
            },
    });
}

} // namespace scn
