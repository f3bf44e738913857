// The step patterns of the scenario parser: how a step's forms are read, and the backtracking
// matcher that fits a line's words to them.
#pragma once

#include "scenario.h"

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace scn::patterns {

enum class ValueType { Text, Int, Uint, Duration, Root, Message, Choice };

struct Element {
    enum class Kind { Keyword, Placeholder, Optional } kind = Kind::Keyword;
    std::vector<std::string> words; // keyword alternatives, or the values of a choice
    std::string name;               // placeholder
    ValueType type = ValueType::Text;
    std::vector<Element> children; // optional group
};

using Pattern = std::vector<Element>;

std::vector<std::string> splitOn(std::string_view text, char sep);
bool isKeywordWord(std::string_view w);
std::string joinAlternatives(const std::vector<std::string>& words, const char* quote);
std::string describeExpected(const Element& e);
// Converts a word for a placeholder. False when it does not fit the type.
bool convert(const Element& e, const Token& t, Args& args);
std::string trim(std::string_view s);

// Pattern text is the simulator's own code; a mistake in it is a programming error.
class PatternReader {
public:
    PatternReader(std::string_view text, std::string context)
        : text_(text), context_(std::move(context)) {}

    Pattern read();

private:
    [[noreturn]] void bad(const std::string& why);
    Pattern sequence();
    Element element(std::string_view word);

    std::string_view text_;
    std::string context_;
    std::size_t pos_ = 0;
};

// Backtracking matcher. Remembers what it expected at the furthest word it reached, which
// is what a reader needs to fix the line.
class Matcher {
public:
    Matcher(const std::vector<Token>& tokens, std::size_t first) : tokens_(tokens), first_(first) {}

    bool match(const Pattern& pattern, Args& args);
    std::string problem() const;

    std::size_t furthest() const { return furthest_; }

    void mergeInto(Matcher& other) const;

private:
    using Continuation = std::function<bool(std::size_t)>;
    void expect(std::size_t at, const std::string& what);
    bool sequence(const Pattern& p, std::size_t i, std::size_t at, Args& args,
                  const Continuation& k);

    const std::vector<Token>& tokens_;
    std::size_t first_;
    std::size_t furthest_ = 0;
    std::set<std::string> expected_;
};

} // namespace scn::patterns
