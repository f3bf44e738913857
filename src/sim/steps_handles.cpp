// Steps for long runs: repeating a road many times, and the objects the program holds (every
// registry key, file, window, menu, thread ... the simulated PC handed out and that was not
// released), against a baseline taken earlier.
#include "scenario.h"

#include <charconv>

namespace scn {

namespace {

struct HandlesState {
    std::optional<sim::HandleSnapshot> baseline;
    int baselineLine = 0;
};

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> out;
    std::string item;
    for (char c : text + ",") {
        if (c != ',') {
            item += c;
            continue;
        }
        while (!item.empty() && item.front() == ' ')
            item.erase(item.begin());
        while (!item.empty() && item.back() == ' ')
            item.pop_back();
        if (!item.empty())
            out.push_back(item);
        item.clear();
    }
    return out;
}

std::vector<std::string> blockLines(const std::string& block) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : block + "\n") {
        if (c != '\n') {
            line += c;
            continue;
        }
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
        line.clear();
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += "\n  " + l;
    return out;
}

// "2 mutex": the count and the kind; false for anything else.
bool parseCountLine(const std::string& line, int& count, sim::HandleKind& kind) {
    const auto space = line.find(' ');
    if (space == std::string::npos)
        return false;
    const char* end = line.data() + space;
    if (std::from_chars(line.data(), end, count).ptr != end || count < 0)
        return false;
    const auto k = sim::handleKindByName(line.substr(space + 1));
    if (!k)
        return false;
    kind = *k;
    return true;
}

} // namespace

void registerHandleSteps(StepTable& table) {
    table.add({
        .name = "repeat",
        .forms = {"<count:uint> times"},
        .help = "Runs the steps in the block below it (written as in a scenario, each line after\n"
                "its '|') this many times, as one step: the transcript shows the first round,\n"
                "then whether the rest passed. The first failure ends it, naming the round.\n"
                "While it repeats, the diagnostic log keeps only its last 100000 lines.",
        .run =
            [](Session& s, const Args& a) {
                const std::uint32_t rounds = static_cast<std::uint32_t>(a.number("count"));
                const ParseResult inner = StepTable::standard().parse(
                    a.has("block") ? a.text("block") : std::string(), "the repeated block");
                if (!inner.errors.empty()) {
                    s.misuse("line " + std::to_string(inner.errors.front().line) +
                             " of the block: " + inner.errors.front().message);
                    return;
                }
                if (inner.scenario.steps.empty() || rounds == 0) {
                    s.misuse("'repeat' needs a count above 0 and steps in its block");
                    return;
                }
                constexpr std::size_t kLogLines = 100000;
                s.limitLog(kLogLines);
                s.runRepeated(inner.scenario.steps, rounds);
                s.limitLog(0);
                if (!s.stopped())
                    s.say("repeated " + std::to_string(rounds) + " times");
            },
        .block = true,
    });

    table.add({
        .name = "show handles",
        .help = "Prints the objects the simulated PC has handed out and that are still live, by\n"
                "process and kind (registry key, file, mutex, thread handle, process handle,\n"
                "access token, thread, window, menu, icon, bitmap, timer, device notification,\n"
                "HID handle, COM object, library), and takes them as the baseline for 'expect\n"
                "handles at baseline'.",
        .run =
            [](Session& s, const Args&) {
                if (!s.settle())
                    return;
                auto& st = s.state<HandlesState>();
                st.baseline = s.pc().handles();
                st.baselineLine = s.line();
                s.say("live objects (the baseline from here on):");
                for (const auto& line : st.baseline->describe())
                    s.say("  " + line);
            },
    });

    table.add({
        .name = "expect handles",
        .forms = {"at baseline [allowing <names>]", ""},
        .help = "The program holds as many objects of each kind as at the baseline that the\n"
                "last 'show handles' took; 'allowing' names objects it keeps for its whole life\n"
                "and makes once (comma-separated beginnings of their descriptions, such as\n"
                "\"icon 115\"), which may have come since. Without 'at baseline': exactly the\n"
                "counts in the block below it, one '<count> <kind>' a line (a kind not listed:\n"
                "none).",
        .run =
            [](Session& s, const Args& a) {
                if (!s.settle())
                    return;
                const sim::HandleSnapshot now = s.pc().handles();
                constexpr std::uint32_t program = sim::SimPc::kProgramProcessId;
                if (a.has("baseline")) {
                    auto& st = s.state<HandlesState>();
                    if (!st.baseline) {
                        s.misuse("no baseline: 'show handles' takes it");
                        return;
                    }
                    const auto lifetime =
                        a.has("names") ? splitList(a.text("names")) : std::vector<std::string>{};
                    const auto diff = sim::handleDifferences(*st.baseline, now, program, lifetime);
                    if (!diff.empty()) {
                        s.fail("the program's objects are not as at the baseline of line " +
                               std::to_string(st.baselineLine) + ":" + joined(diff));
                        return;
                    }
                    s.say("ok: every count of the program is as at the baseline of line " +
                          std::to_string(st.baselineLine));
                    return;
                }
                int expected[sim::kHandleKinds] = {};
                for (const auto& line : blockLines(a.has("block") ? a.text("block") : "")) {
                    int count = 0;
                    sim::HandleKind kind{};
                    if (!parseCountLine(line, count, kind)) {
                        s.misuse(quoted(line) + " is not '<count> <kind>' (see 'show handles')");
                        return;
                    }
                    expected[static_cast<int>(kind)] = count;
                }
                std::vector<std::string> wrong;
                for (int k = 0; k < sim::kHandleKinds; ++k) {
                    const auto kind = static_cast<sim::HandleKind>(k);
                    const int n = now.count(program, kind);
                    if (n != expected[k])
                        wrong.push_back(std::to_string(n) + " " + sim::handleKindName(kind) +
                                        ", not " + std::to_string(expected[k]));
                }
                if (!wrong.empty()) {
                    s.fail("the program holds" + joined(wrong));
                    return;
                }
                s.say("ok: the program holds exactly the objects expected");
            },
        .block = true,
    });
}

} // namespace scn
