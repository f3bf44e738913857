// The step table and the scenario parser: step names are found by their longest match
// among the line's leading bare words, and arguments by backtracking over the step's
// patterns, so optional parts need no special cases in the steps themselves.
#include "scenario_patterns.h"

#include "text.h"

#include <algorithm>
#include <deque>
#include <ostream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace scn {

// ---------------------------------------------------------------- Args

bool Args::has(std::string_view name) const {
    return values_.find(name) != values_.end() || keywords_.find(name) != keywords_.end();
}

const Args::Value& Args::get(std::string_view name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) {
        throw std::logic_error("step asked for argument '" + std::string(name) +
                               "', which its pattern does not give");
    }
    return it->second;
}

const std::string& Args::text(std::string_view name) const {
    return get(name).text;
}
plat::String Args::wide(std::string_view name) const {
    return plat::fromUtf8(get(name).text);
}
std::int64_t Args::number(std::string_view name) const {
    return get(name).number;
}

void Args::set(std::string name, std::string text, std::int64_t number) {
    values_[std::move(name)] = Value{std::move(text), number};
}

void Args::erase(const std::string& name) {
    values_.erase(name);
}

void Args::setKeyword(const std::string& word) {
    ++keywords_[word];
}

void Args::eraseKeyword(const std::string& word) {
    const auto it = keywords_.find(word);
    if (it != keywords_.end() && --it->second == 0)
        keywords_.erase(it);
}

// ---------------------------------------------------------------- patterns

using namespace patterns;

// ---------------------------------------------------------------- StepTable

struct StepTable::Impl {
    struct Entry {
        StepDef def;
        std::vector<Pattern> patterns;
        std::vector<std::string> words; // the name, split
        std::string group;
    };
    std::deque<Entry> entries; // stable addresses: parsed steps point at their StepDef
    std::string group;
    std::size_t longestName = 1;

    const Entry* entryFor(const StepDef* def) const {
        for (const auto& e : entries) {
            if (&e.def == def)
                return &e;
        }
        return nullptr;
    }

    const Entry* lookup(const std::vector<Token>& tokens, std::size_t& nameWords) const;
    std::string unknownStep(const std::vector<Token>& tokens) const;
    bool readStep(const StepTable& table, std::string_view raw, std::vector<Token>& tokens,
                  Step& step, std::string& problem) const;
};

// The step's name: the longest registered name among the leading bare words.
const StepTable::Impl::Entry* StepTable::Impl::lookup(const std::vector<Token>& tokens,
                                                      std::size_t& nameWords) const {
    std::size_t bare = 0;
    while (bare < tokens.size() && bare < longestName && !tokens[bare].quoted)
        ++bare;
    for (std::size_t n = bare; n > 0; --n) {
        std::string candidate;
        for (std::size_t i = 0; i < n; ++i)
            candidate += (i ? " " : "") + tokens[i].text;
        for (const auto& e : entries) {
            if (e.def.name == candidate) {
                nameWords = n;
                return &e;
            }
        }
    }
    return nullptr;
}

// What a reader is told of a line whose first words name no step.
std::string StepTable::Impl::unknownStep(const std::vector<Token>& tokens) const {
    if (tokens[0].quoted)
        return "a step begins with its name, not with quoted text";
    std::string message = "unknown step '" + tokens[0].text + "'";
    std::vector<std::string> similar;
    for (const auto& e : entries) {
        if (e.words[0] == tokens[0].text)
            similar.push_back(e.def.name);
    }
    if (!similar.empty()) {
        message = "unknown step '" + tokens[0].text +
                  (tokens.size() > 1 ? " " + tokens[1].text : "") + "'; steps beginning with '" +
                  tokens[0].text + "': " + joinAlternatives(similar, "");
    } else {
        message += " (qa_simulator --list-steps shows them all)";
    }
    return message;
}

// One step line read into `step`: its words, its name, then its arguments from the first of
// its forms the line fits. False when it cannot be read, with what is wrong in `problem` (empty
// for a line without words); `step.def` is set once the name is known.
bool StepTable::Impl::readStep(const StepTable& table, std::string_view raw,
                               std::vector<Token>& tokens, Step& step, std::string& problem) const {
    if (!lexLine(raw, tokens, problem))
        return false;
    if (tokens.empty())
        return false;
    std::size_t nameWords = 0;
    const Entry* entry = lookup(tokens, nameWords);
    if (!entry) {
        problem = unknownStep(tokens);
        return false;
    }
    step.source = trim(raw);
    step.def = &entry->def;
    Matcher best(tokens, nameWords);
    for (const auto& pattern : entry->patterns) {
        Args args;
        Matcher m(tokens, nameWords);
        if (m.match(pattern, args)) {
            step.args = std::move(args);
            return true;
        }
        m.mergeInto(best);
    }
    std::string forms = table.usage(entry->def);
    std::replace(forms.begin(), forms.end(), '\n', '|');
    problem = entry->def.name + ": " + best.problem() + " (usage: " + forms + ")";
    return false;
}

StepTable::StepTable() : impl_(std::make_unique<Impl>()) {}
StepTable::~StepTable() = default;
StepTable::StepTable(StepTable&&) noexcept = default;
StepTable& StepTable::operator=(StepTable&&) noexcept = default;

void StepTable::beginGroup(std::string heading) {
    impl_->group = std::move(heading);
}

void StepTable::add(StepDef def) {
    Impl::Entry entry;
    entry.words = splitOn(def.name, ' ');
    for (const auto& w : entry.words) {
        if (!isKeywordWord(w))
            throw std::logic_error("step name '" + def.name + "': bad word '" + w + "'");
    }
    if (find(def.name))
        throw std::logic_error("step '" + def.name + "' is registered twice");
    if (!def.run)
        throw std::logic_error("step '" + def.name + "' has no handler");
    if (def.forms.empty())
        def.forms.push_back("");
    for (const auto& form : def.forms)
        entry.patterns.push_back(PatternReader(form, def.name).read());
    entry.group = impl_->group;
    impl_->longestName = std::max(impl_->longestName, entry.words.size());
    entry.def = std::move(def);
    impl_->entries.push_back(std::move(entry));
}

const StepDef* StepTable::find(std::string_view name) const {
    for (const auto& e : impl_->entries) {
        if (e.def.name == name)
            return &e.def;
    }
    return nullptr;
}

std::vector<const StepDef*> StepTable::steps() const {
    std::vector<const StepDef*> out;
    for (const auto& e : impl_->entries)
        out.push_back(&e.def);
    return out;
}

std::string StepTable::usage(const StepDef& def) const {
    std::string out;
    for (const auto& form : def.forms) {
        if (!out.empty())
            out += "\n";
        out += def.name;
        if (!form.empty())
            out += " " + form;
    }
    return out;
}

void StepTable::list(std::ostream& out) const {
    std::string group;
    bool first = true;
    for (const auto& e : impl_->entries) {
        if (first || e.group != group) {
            if (!first)
                out << "\n";
            out << "# " << (e.group.empty() ? "steps" : e.group) << "\n";
            group = e.group;
            first = false;
        }
        for (const auto& form : e.def.forms) {
            out << e.def.name << (form.empty() ? "" : " ") << form << "\n";
        }
        std::istringstream help(e.def.help);
        for (std::string line; std::getline(help, line);)
            out << "    " << line << "\n";
        if (e.def.when == When::BeforeStart)
            out << "    (machine set-up: before start)\n";
        if (e.def.block)
            out << "    (followed by its block: lines that begin with '|')\n";
    }
}

namespace {

// A scenario must be text of a bounded size; otherwise the one error says why not.
bool acceptable(std::string_view text, ParseResult& result) {
    if (text.size() > maxScenarioBytes) {
        result.errors.push_back(
            {0, "scenario is larger than " + std::to_string(maxScenarioBytes) + " bytes"});
        return false;
    }
    if (text.find('\0') != std::string_view::npos) {
        // Count the line for the message; a NUL means this is not a text file.
        const auto at = text.find('\0');
        result.errors.push_back(
            {static_cast<int>(std::count(text.begin(), text.begin() + at, '\n')) + 1,
             "NUL byte: not a text file"});
        return false;
    }
    return true;
}

// A '|' line joins the block of the step above it (one space after the bar is not part of it).
void addBlockLine(std::string_view line, Args& args) {
    if (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    std::string block = args.has("block") ? args.text("block") + "\n" : std::string();
    block += line;
    args.set("block", std::move(block));
}

} // namespace

ParseResult StepTable::parse(std::string_view text, std::string name) const {
    ParseResult result;
    result.scenario.name = std::move(name);
    const auto error = [&](int line, std::string message) {
        if (result.errors.size() < maxErrors)
            result.errors.push_back({line, std::move(message)});
    };
    if (!acceptable(text, result))
        return result;

    int lineNo = 0;
    std::size_t start = 0;
    std::vector<Token> tokens;
    // Where the next '|' line goes: the block of the step just read, nowhere (the step above
    // takes no block), or away with a step that could not be read.
    enum class BlockLines { Refused, Owned, Dropped } blockLines = BlockLines::Refused;
    while (start <= text.size() && result.errors.size() < maxErrors) {
        const auto end = text.find('\n', start);
        std::string_view raw =
            text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        ++lineNo;
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);

        if (const auto bar = raw.find_first_not_of(" \t");
            bar != std::string_view::npos && raw[bar] == '|') {
            if (blockLines == BlockLines::Owned) {
                addBlockLine(raw.substr(bar + 1), result.scenario.steps.back().args);
            } else if (blockLines == BlockLines::Refused) {
                error(lineNo, "a '|' line belongs to a step that takes a block, right above it");
            }
            continue;
        }
        blockLines = BlockLines::Refused;

        Step step;
        step.line = lineNo;
        std::string problem;
        if (!impl_->readStep(*this, raw, tokens, step, problem)) {
            if (!problem.empty())
                error(lineNo, problem);
            if (step.def && step.def->block)
                blockLines = BlockLines::Dropped;
            continue;
        }
        if (step.def->block)
            blockLines = BlockLines::Owned;
        result.scenario.steps.push_back(std::move(step));
    }
    return result;
}

#define QA_STEP_MODULE(registerFunction, heading) void registerFunction(StepTable& table);
#include "step_modules.h"
#undef QA_STEP_MODULE

const StepTable& StepTable::standard() {
    static const StepTable table = [] {
        StepTable t;
#define QA_STEP_MODULE(registerFunction, heading)                                                  \
    t.beginGroup(heading);                                                                         \
    registerFunction(t);
#include "step_modules.h"
#undef QA_STEP_MODULE
        return t;
    }();
    return table;
}

} // namespace scn
