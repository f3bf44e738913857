// Steps that set up and check the registry, as the user's own tools would see it.
#include "scenario.h"

#include "constants.h"
#include "text.h"

namespace scn {

namespace {

std::string where(const Args& a) {
    std::string out = a.text("root") + "\\" + a.text("path");
    if (a.has("name"))
        out += " " + quoted(a.text("name"));
    return out;
}

plat::HKey rootOf(const Args& a) {
    return static_cast<plat::HKey>(a.number("root"));
}

} // namespace

void registerRegistrySteps(StepTable& table) {
    table.add({
        .name = "registry set",
        .forms = {"<root:root> <path> <name> string <value>",
                  "<root:root> <path> <name> dword <number:uint>"},
        .help = "Stores a value, creating the key and its parents.",
        .run =
            [](Session& s, const Args& a) {
                if (a.has("string")) {
                    s.pc().setString(rootOf(a), a.wide("path"), a.wide("name"), a.wide("value"));
                    s.say(where(a) + " = " + quoted(a.text("value")));
                } else {
                    s.pc().setDword(rootOf(a), a.wide("path"), a.wide("name"),
                                    static_cast<std::uint32_t>(a.number("number")));
                    s.say(where(a) + " = dword " + a.text("number"));
                }
            },
    });

    table.add({
        .name = "registry delete",
        .forms = {"<root:root> <path>"},
        .help = "Deletes a key with everything below it.",
        .run =
            [](Session& s, const Args& a) {
                s.pc().deleteTree(rootOf(a), a.wide("path"));
                s.say("deleted " + where(a));
            },
    });

    table.add({
        .name = "expect registry",
        .forms = {"<root:root> <path> <name> <value>"},
        .help = "The value is stored: a string equal to <value>, or a DWORD equal to the\n"
                "number <value>.",
        .run =
            [](Session& s, const Args& a) {
                const auto stored = s.pc().value(rootOf(a), a.wide("path"), a.wide("name"));
                if (!stored) {
                    s.fail(where(a) + " is not set" +
                           (s.pc().keyExists(rootOf(a), a.wide("path"))
                                ? ""
                                : " (the key does not exist)"));
                    return;
                }
                if (stored->first == REG_DWORD) {
                    const auto actual =
                        s.pc().dwordValue(rootOf(a), a.wide("path"), a.wide("name"));
                    const auto wanted = parseInteger(a.text("value"));
                    if (!actual || !wanted || static_cast<std::int64_t>(*actual) != *wanted) {
                        s.fail(where(a) + " is dword " + (actual ? std::to_string(*actual) : "?") +
                               ", not " + a.text("value"));
                        return;
                    }
                } else {
                    const auto actual =
                        s.pc().stringValue(rootOf(a), a.wide("path"), a.wide("name"));
                    if (!actual) {
                        s.fail(where(a) + " has type " + std::to_string(stored->first) +
                               ", not a string");
                        return;
                    }
                    if (*actual != a.wide("value")) {
                        s.fail(where(a) + " is " + quoted(plat::toUtf8(*actual)) + ", not " +
                               quoted(a.text("value")));
                        return;
                    }
                }
                s.say("ok: " + where(a) + " = " + quoted(a.text("value")));
            },
    });

    table.add({
        .name = "expect no-registry",
        .forms = {"<root:root> <path> [<name>]"},
        .help = "The value (or, without a name, the key) does not exist.",
        .run =
            [](Session& s, const Args& a) {
                if (a.has("name")) {
                    if (s.pc().value(rootOf(a), a.wide("path"), a.wide("name"))) {
                        s.fail(where(a) + " is set");
                        return;
                    }
                } else if (s.pc().keyExists(rootOf(a), a.wide("path"))) {
                    s.fail("the key " + where(a) + " exists");
                    return;
                }
                s.say("ok: " + where(a) + " does not exist");
            },
    });
}

} // namespace scn
