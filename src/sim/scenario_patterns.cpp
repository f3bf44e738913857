// The step patterns of the scenario parser: reading a step's forms, and matching a line's
// words against them with backtracking.
#include "scenario_patterns.h"

#include "text.h"

#include <algorithm>
#include <stdexcept>

namespace scn::patterns {

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

Pattern PatternReader::read() {
    Pattern p = sequence();
    if (pos_ < text_.size())
        bad("unbalanced ']'");
    return p;
}

[[noreturn]] void PatternReader::bad(const std::string& why) {
    throw std::logic_error("step '" + context_ + "': pattern \"" + std::string(text_) +
                           "\": " + why);
}

Pattern PatternReader::sequence() {
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

Element PatternReader::element(std::string_view word) {
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

bool Matcher::match(const Pattern& pattern, Args& args) {
    return sequence(pattern, 0, first_, args, [this](std::size_t at) {
        if (at == tokens_.size())
            return true;
        expect(at, "end of line");
        return false;
    });
}

std::string Matcher::problem() const {
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

void Matcher::mergeInto(Matcher& other) const {
    if (furthest_ > other.furthest_) {
        other.furthest_ = furthest_;
        other.expected_ = expected_;
    } else if (furthest_ == other.furthest_) {
        other.expected_.insert(expected_.begin(), expected_.end());
    }
}

void Matcher::expect(std::size_t at, const std::string& what) {
    if (at > furthest_) {
        furthest_ = at;
        expected_.clear();
    }
    if (at == furthest_)
        expected_.insert(what);
}

bool Matcher::sequence(const Pattern& p, std::size_t i, std::size_t at, Args& args,
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

std::string trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace scn::patterns
