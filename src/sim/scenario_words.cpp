// Words and values of the scenario language: splitting a line, and reading durations,
// numbers, window messages and registry roots.
#include "scenario.h"

#include "constants.h"
#include "text.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace scn {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string hexByte(unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", c);
    return buf;
}

struct NamedMessage {
    std::string_view name;
    std::uint32_t value;
};

// The messages a scenario may name; anything else can still be given as a number.
constexpr std::array<NamedMessage, 21> namedMessages{{
    {"WM_CLOSE", WM_CLOSE},
    {"WM_QUERYENDSESSION", WM_QUERYENDSESSION},
    {"WM_ENDSESSION", WM_ENDSESSION},
    {"WM_PAINT", WM_PAINT},
    {"WM_DESTROY", WM_DESTROY},
    {"WM_SETTEXT", WM_SETTEXT},
    {"WM_QUERYDRAGICON", WM_QUERYDRAGICON},
    {"WM_HELP", WM_HELP},
    {"WM_KEYDOWN", WM_KEYDOWN},
    {"WM_COMMAND", WM_COMMAND},
    {"WM_TIMER", WM_TIMER},
    {"WM_MOUSEMOVE", WM_MOUSEMOVE},
    {"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {"WM_LBUTTONUP", WM_LBUTTONUP},
    {"WM_LBUTTONDBLCLK", WM_LBUTTONDBLCLK},
    {"WM_RBUTTONDOWN", WM_RBUTTONDOWN},
    {"WM_RBUTTONUP", WM_RBUTTONUP},
    {"WM_RBUTTONDBLCLK", WM_RBUTTONDBLCLK},
    {"WM_DEVICECHANGE", WM_DEVICECHANGE},
    {"WM_APPCOMMAND", WM_APPCOMMAND},
    {"WM_USER", WM_USER},
}};

std::optional<std::uint64_t> parseUnsigned(std::string_view text, int base) {
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The character an escape in quoted text stands for; nothing for an unknown escape.
std::optional<char> unescaped(char e) {
    switch (e) {
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case '"':
        return '"';
    case '\\':
        return '\\';
    default:
        return std::nullopt;
    }
}

// Quoted text from the opening quote at `i` to just past the closing one.
bool lexQuoted(std::string_view line, std::size_t& i, Token& token, std::string& error) {
    token.quoted = true;
    ++i;
    bool closed = false;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '"') {
            closed = true;
            ++i;
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            error = "control character " + hexByte(static_cast<unsigned char>(c)) + " at column " +
                    std::to_string(i + 1);
            return false;
        }
        if (c == '\\') {
            if (i + 1 >= line.size())
                break; // reported as unterminated below
            const char e = line[i + 1];
            const auto meant = unescaped(e);
            if (!meant) {
                error = std::string("unknown escape \\") + e + " at column " +
                        std::to_string(i + 1) + " (known: \\n \\r \\t \\\" \\\\)";
                return false;
            }
            token.text += *meant;
            i += 2;
            continue;
        }
        token.text += c;
        ++i;
    }
    if (!closed) {
        error = "quoted text opened at column " + std::to_string(token.column) + " is not closed";
        return false;
    }
    if (i < line.size() && !isBlank(line[i])) {
        error = "text right after the closing quote at column " + std::to_string(i) +
                " (separate words with a blank)";
        return false;
    }
    return true;
}

// A bare word from `i` to the next blank.
bool lexBare(std::string_view line, std::size_t& i, Token& token, std::string& error) {
    while (i < line.size() && !isBlank(line[i])) {
        const char c = line[i];
        if (c == '"') {
            error = "quote inside a word at column " + std::to_string(i + 1) +
                    " (quote the whole argument)";
            return false;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            error = "control character " + hexByte(static_cast<unsigned char>(c)) + " at column " +
                    std::to_string(i + 1);
            return false;
        }
        token.text += c;
        ++i;
    }
    return true;
}

} // namespace

bool lexLine(std::string_view line, std::vector<Token>& tokens, std::string& error) {
    tokens.clear();
    if (line.size() > maxLineBytes) {
        error = "line is longer than " + std::to_string(maxLineBytes) + " bytes";
        return false;
    }
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size() || line[i] == '#')
            return true;
        if (tokens.size() >= maxTokensPerLine) {
            error = "more than " + std::to_string(maxTokensPerLine) + " words on one line";
            return false;
        }
        Token token;
        token.column = static_cast<int>(i) + 1;
        if (!(line[i] == '"' ? lexQuoted(line, i, token, error) : lexBare(line, i, token, error)))
            return false;
        tokens.push_back(std::move(token));
    }
}

std::optional<std::uint32_t> parseDuration(std::string_view text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 12)
        return std::nullopt;
    const auto amount = parseUnsigned(text.substr(0, digits), 10);
    if (!amount)
        return std::nullopt;
    const std::string_view unit = text.substr(digits);
    std::uint64_t factor = 0;
    if (unit == "ms")
        factor = 1;
    else if (unit == "s")
        factor = 1000;
    else if (unit == "min")
        factor = 60 * 1000;
    else
        return std::nullopt;
    const std::uint64_t ms = *amount * factor; // at most 10^12 * 60000: fits 64 bits
    if (ms > maxDurationMs)
        return std::nullopt;
    return static_cast<std::uint32_t>(ms);
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    std::optional<std::uint64_t> magnitude;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (negative)
            return std::nullopt;
        magnitude = parseUnsigned(text.substr(2), 16);
        // 0x values name bit patterns (handles, lParams): allow the full 64 bits.
        if (magnitude)
            return static_cast<std::int64_t>(*magnitude);
        return std::nullopt;
    }
    magnitude = parseUnsigned(text, 10);
    if (!magnitude)
        return std::nullopt;
    constexpr std::uint64_t limit = static_cast<std::uint64_t>(INT64_MAX);
    if (negative) {
        if (*magnitude > limit + 1)
            return std::nullopt;
        return *magnitude == limit + 1 ? INT64_MIN : -static_cast<std::int64_t>(*magnitude);
    }
    if (*magnitude > limit)
        return std::nullopt;
    return static_cast<std::int64_t>(*magnitude);
}

std::optional<std::uint32_t> parseMessage(std::string_view text) {
    std::string_view name = text;
    std::uint64_t offset = 0;
    if (const auto plus = text.find('+'); plus != std::string_view::npos) {
        name = text.substr(0, plus);
        const auto n = parseInteger(text.substr(plus + 1));
        if (!n || *n < 0 || *n > 0xFFFF)
            return std::nullopt;
        offset = static_cast<std::uint64_t>(*n);
    }
    for (const auto& m : namedMessages) {
        if (m.name == name)
            return static_cast<std::uint32_t>(m.value + offset);
    }
    if (name != text)
        return std::nullopt; // an offset needs a name
    const auto n = parseInteger(text);
    if (!n || *n < 0 || *n > 0xFFFFFFFFLL)
        return std::nullopt;
    return static_cast<std::uint32_t>(*n);
}

std::optional<plat::HKey> parseRoot(std::string_view text) {
    if (text == "HKCU" || text == "HKEY_CURRENT_USER")
        return plat::HKCU;
    if (text == "HKLM" || text == "HKEY_LOCAL_MACHINE")
        return plat::HKLM;
    return std::nullopt;
}

std::string messageName(std::uint32_t msg) {
    for (const auto& m : namedMessages) {
        if (m.value == msg)
            return std::string(m.name);
    }
    if (msg > WM_USER && msg < 0x8000)
        return "WM_USER+" + std::to_string(msg - WM_USER);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", msg);
    return buf;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    out += '"';
    return out;
}

} // namespace scn
