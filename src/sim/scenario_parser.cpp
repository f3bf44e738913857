// The step table and the scenario parser: step names are found by their longest match
// among the line's leading bare words, and arguments by backtracking over the step's
// patterns, so optional parts need no special cases in the steps themselves.
#include "scenario.h"

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

namespace {

enum class ValueType { Text, Int, Uint, Duration, Root, Message, Choice };

struct Element {
    enum class Kind { Keyword, Placeholder, Optional } kind = Kind::Keyword;
    std::vector<std::string> words; // keyword alternatives, or the values of a choice
    std::string name;               // placeholder
    ValueType type = ValueType::Text;
    std::vector<Element> children; // optional group
};

using Pattern = std::vector<Element>;

std::vector<std::string> splitOn(std::string_view text, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto at = text.find(sep, start);
        parts.emplace_back(
            text.substr(start, at == std::string_view::npos ? text.npos : at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

bool isKeywordWord(std::string_view w) {
    return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

// Pattern text is the simulator's own code; a mistake in it is a programming error.
class PatternReader {
public:
    PatternReader(std::string_view text, std::string context)
        : text_(text), context_(std::move(context)) {}

    Pattern read() {
        Pattern p = sequence();
        if (pos_ < text_.size())
            bad("unbalanced ']'");
        return p;
    }

private:
    [[noreturn]] void bad(const std::string& why) {
        throw std::logic_error("step '" + context_ + "': pattern \"" + std::string(text_) +
                               "\": " + why);
    }

    Pattern sequence() {
        Pattern seq;
        while (true) {
            while (pos_ < text_.size() && text_[pos_] == ' ')
                ++pos_;
            if (pos_ >= text_.size() || text_[pos_] == ']')
                return seq;
            if (text_[pos_] == '[') {
                ++pos_;
                Element group;
                group.kind = Element::Kind::Optional;
                group.children = sequence();
                if (pos_ >= text_.size() || text_[pos_] != ']')
                    bad("'[' is not closed");
                if (group.children.empty())
                    bad("empty optional group");
                ++pos_;
                seq.push_back(std::move(group));
                continue;
            }
            const auto end = text_.find_first_of(" []", pos_);
            const std::string_view word =
                text_.substr(pos_, end == std::string_view::npos ? text_.npos : end - pos_);
            pos_ += word.size();
            seq.push_back(element(word));
        }
    }

    Element element(std::string_view word) {
        Element e;
        if (word.front() != '<') {
            e.kind = Element::Kind::Keyword;
            e.words = splitOn(word, '|');
            for (const auto& w : e.words) {
                if (!isKeywordWord(w))
                    bad("bad keyword '" + w + "'");
            }
            return e;
        }
        if (word.size() < 3 || word.back() != '>')
            bad("bad placeholder '" + std::string(word) + "'");
        const std::string_view inner = word.substr(1, word.size() - 2);
        const auto colon = inner.find(':');
        e.kind = Element::Kind::Placeholder;
        e.name = std::string(inner.substr(0, colon));
        if (!isKeywordWord(e.name))
            bad("bad placeholder name '" + e.name + "'");
        if (colon == std::string_view::npos)
            return e;
        const std::string_view type = inner.substr(colon + 1);
        if (type == "int")
            e.type = ValueType::Int;
        else if (type == "uint")
            e.type = ValueType::Uint;
        else if (type == "duration")
            e.type = ValueType::Duration;
        else if (type == "root")
            e.type = ValueType::Root;
        else if (type == "message")
            e.type = ValueType::Message;
        else if (type.find('|') != std::string_view::npos) {
            e.type = ValueType::Choice;
            e.words = splitOn(type, '|');
            for (const auto& w : e.words) {
                if (!isKeywordWord(w))
                    bad("bad choice '" + w + "'");
            }
        } else {
            bad("unknown type '" + std::string(type) + "'");
        }
        return e;
    }

    std::string_view text_;
    std::string context_;
    std::size_t pos_ = 0;
};

std::string joinAlternatives(const std::vector<std::string>& words, const char* quote) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            out += i + 1 == words.size() ? " or " : ", ";
        out += quote + words[i] + quote;
    }
    return out;
}

std::string describeExpected(const Element& e) {
    if (e.kind == Element::Kind::Keyword)
        return joinAlternatives(e.words, "'");
    switch (e.type) {
    case ValueType::Int:
        return "<" + e.name + ">, a number";
    case ValueType::Uint:
        return "<" + e.name + ">, a number from 0 to 4294967295";
    case ValueType::Duration:
        return "<" + e.name + ">, a duration such as 1500ms, 30s or 2min";
    case ValueType::Root:
        return "<" + e.name + ">, HKCU or HKLM";
    case ValueType::Message:
        return "<" + e.name + ">, a message such as WM_CLOSE, WM_USER+1 or 16";
    case ValueType::Choice:
        return "<" + e.name + ">, one of " + joinAlternatives(e.words, "");
    case ValueType::Text:
        break;
    }
    return "<" + e.name + ">";
}

// Converts a word for a placeholder. False when it does not fit the type.
bool convert(const Element& e, const Token& t, Args& args) {
    switch (e.type) {
    case ValueType::Text:
        args.set(e.name, t.text);
        return true;
    case ValueType::Int:
        if (const auto v = parseInteger(t.text)) {
            args.set(e.name, t.text, *v);
            return true;
        }
        return false;
    case ValueType::Uint:
        if (const auto v = parseInteger(t.text); v && *v >= 0 && *v <= 0xFFFFFFFFLL) {
            args.set(e.name, t.text, *v);
            return true;
        }
        return false;
    case ValueType::Duration:
        if (const auto v = parseDuration(t.text)) {
            args.set(e.name, t.text, *v);
            return true;
        }
        return false;
    case ValueType::Root:
        if (const auto v = parseRoot(t.text)) {
            args.set(e.name, t.text, static_cast<std::int64_t>(*v));
            return true;
        }
        return false;
    case ValueType::Message:
        if (const auto v = parseMessage(t.text)) {
            args.set(e.name, t.text, *v);
            return true;
        }
        return false;
    case ValueType::Choice:
        if (std::find(e.words.begin(), e.words.end(), t.text) != e.words.end()) {
            args.set(e.name, t.text);
            return true;
        }
        return false;
    }
    return false;
}

// Backtracking matcher. Remembers what it expected at the furthest word it reached, which
// is what a reader needs to fix the line.
class Matcher {
public:
    Matcher(const std::vector<Token>& tokens, std::size_t first) : tokens_(tokens), first_(first) {}

    bool match(const Pattern& pattern, Args& args) {
        return sequence(pattern, 0, first_, args, [this](std::size_t at) {
            if (at == tokens_.size())
                return true;
            expect(at, "end of line");
            return false;
        });
    }

    std::string problem() const {
        const std::string found =
            furthest_ < tokens_.size()
                ? "found " + (tokens_[furthest_].quoted ? quoted(tokens_[furthest_].text)
                                                        : "'" + tokens_[furthest_].text + "'")
                : "found end of line";
        std::string out = "expected ";
        std::size_t i = 0;
        for (const auto& e : expected_) {
            if (i > 0)
                out += i + 1 == expected_.size() ? " or " : ", ";
            out += e;
            ++i;
        }
        return out + ", " + found;
    }

    std::size_t furthest() const { return furthest_; }

    void mergeInto(Matcher& other) const {
        if (furthest_ > other.furthest_) {
            other.furthest_ = furthest_;
            other.expected_ = expected_;
        } else if (furthest_ == other.furthest_) {
            other.expected_.insert(expected_.begin(), expected_.end());
        }
    }

private:
    using Continuation = std::function<bool(std::size_t)>;

    void expect(std::size_t at, const std::string& what) {
        if (at > furthest_) {
            furthest_ = at;
            expected_.clear();
        }
        if (at == furthest_)
            expected_.insert(what);
    }

    bool sequence(const Pattern& p, std::size_t i, std::size_t at, Args& args,
                  const Continuation& k) {
        if (i == p.size())
            return k(at);
        const Element& e = p[i];
        const auto rest = [&](std::size_t next) { return sequence(p, i + 1, next, args, k); };
        switch (e.kind) {
        case Element::Kind::Optional:
            if (sequence(e.children, 0, at, args, rest))
                return true;
            return rest(at);
        case Element::Kind::Keyword:
            if (at < tokens_.size() && !tokens_[at].quoted) {
                const auto& w = tokens_[at].text;
                if (std::find(e.words.begin(), e.words.end(), w) != e.words.end()) {
                    args.setKeyword(w);
                    if (rest(at + 1))
                        return true;
                    args.eraseKeyword(w);
                }
            }
            expect(at, describeExpected(e));
            return false;
        case Element::Kind::Placeholder:
            if (at < tokens_.size() && convert(e, tokens_[at], args)) {
                if (rest(at + 1))
                    return true;
                args.erase(e.name);
            }
            expect(at, describeExpected(e));
            return false;
        }
        return false;
    }

    const std::vector<Token>& tokens_;
    std::size_t first_;
    std::size_t furthest_ = 0;
    std::set<std::string> expected_;
};

std::string trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace

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
};

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

ParseResult StepTable::parse(std::string_view text, std::string name) const {
    ParseResult result;
    result.scenario.name = std::move(name);
    const auto error = [&](int line, std::string message) {
        if (result.errors.size() < maxErrors)
            result.errors.push_back({line, std::move(message)});
    };
    if (text.size() > maxScenarioBytes) {
        error(0, "scenario is larger than " + std::to_string(maxScenarioBytes) + " bytes");
        return result;
    }
    if (text.find('\0') != std::string_view::npos) {
        // Count the line for the message; a NUL means this is not a text file.
        const auto at = text.find('\0');
        error(static_cast<int>(std::count(text.begin(), text.begin() + at, '\n')) + 1,
              "NUL byte: not a text file");
        return result;
    }

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
                std::string_view line = raw.substr(bar + 1);
                if (!line.empty() && line.front() == ' ')
                    line.remove_prefix(1);
                Args& args = result.scenario.steps.back().args;
                std::string block = args.has("block") ? args.text("block") + "\n" : std::string();
                block += line;
                args.set("block", std::move(block));
            } else if (blockLines == BlockLines::Refused) {
                error(lineNo, "a '|' line belongs to a step that takes a block, right above it");
            }
            continue;
        }
        blockLines = BlockLines::Refused;

        std::string lexError;
        if (!lexLine(raw, tokens, lexError)) {
            error(lineNo, lexError);
            continue;
        }
        if (tokens.empty())
            continue;

        // The step's name: the longest registered name among the leading bare words.
        const Impl::Entry* entry = nullptr;
        std::size_t nameWords = 0;
        std::size_t bare = 0;
        while (bare < tokens.size() && bare < impl_->longestName && !tokens[bare].quoted)
            ++bare;
        for (std::size_t n = bare; n > 0 && !entry; --n) {
            std::string candidate;
            for (std::size_t i = 0; i < n; ++i)
                candidate += (i ? " " : "") + tokens[i].text;
            for (const auto& e : impl_->entries) {
                if (e.def.name == candidate) {
                    entry = &e;
                    nameWords = n;
                    break;
                }
            }
        }
        if (!entry) {
            if (tokens[0].quoted) {
                error(lineNo, "a step begins with its name, not with quoted text");
                continue;
            }
            std::string message = "unknown step '" + tokens[0].text + "'";
            std::vector<std::string> similar;
            for (const auto& e : impl_->entries) {
                if (e.words[0] == tokens[0].text)
                    similar.push_back(e.def.name);
            }
            if (!similar.empty()) {
                message = "unknown step '" + tokens[0].text +
                          (tokens.size() > 1 ? " " + tokens[1].text : "") +
                          "'; steps beginning with '" + tokens[0].text +
                          "': " + joinAlternatives(similar, "");
            } else {
                message += " (qa_simulator --list-steps shows them all)";
            }
            error(lineNo, message);
            continue;
        }

        Step step;
        step.line = lineNo;
        step.source = trim(raw);
        step.def = &entry->def;
        Matcher best(tokens, nameWords);
        bool matched = false;
        for (const auto& pattern : entry->patterns) {
            Args args;
            Matcher m(tokens, nameWords);
            if (m.match(pattern, args)) {
                step.args = std::move(args);
                matched = true;
                break;
            }
            m.mergeInto(best);
        }
        if (!matched) {
            std::string forms = usage(entry->def);
            std::replace(forms.begin(), forms.end(), '\n', '|');
            error(lineNo, entry->def.name + ": " + best.problem() + " (usage: " + forms + ")");
            if (entry->def.block)
                blockLines = BlockLines::Dropped;
            continue;
        }
        if (entry->def.block)
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
