#include "text.h"

#include <algorithm>

namespace plat {

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

String fromUtf8(std::string_view bytes) {
    String out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        char32_t c = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= bytes.size();
            char32_t v = b & (0x7F >> len);
            for (std::size_t k = 1; ok && k < len; ++k) {
                const auto cb = static_cast<unsigned char>(bytes[i + k]);
                if ((cb & 0xC0) != 0x80)
                    ok = false;
                else
                    v = (v << 6) | (cb & 0x3F);
            }
            const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
            if (ok && v >= minimum[len] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                c = v;
            } else {
                len = 1; // resynchronise on the next byte
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

String fromAscii(std::string_view ascii) {
    String out;
    out.reserve(ascii.size());
    for (char c : ascii)
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

std::string toNarrow(std::u16string_view text) { return toUtf8(text); }

namespace {
char16_t foldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
bool sameIgnoringCase(char16_t a, char16_t b) {
    return foldAscii(a) == foldAscii(b);
}
} // namespace

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameIgnoringCase);
}

bool startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::size_t findIgnoringCase(std::u16string_view text, std::u16string_view part) {
    const auto found = std::search(text.begin(), text.end(), part.begin(), part.end(),
                                   sameIgnoringCase);
    if (found == text.end() && !part.empty())
        return std::u16string_view::npos;
    return static_cast<std::size_t>(found - text.begin());
}

long long FormatArg::asSigned() const {
    switch (kind_) {
    case Kind::Signed: return signed_;
    case Kind::Unsigned: return static_cast<long long>(unsigned_);
    default: return 0;
    }
}

unsigned long long FormatArg::asUnsigned() const {
    switch (kind_) {
    case Kind::Signed: return static_cast<unsigned long long>(signed_);
    case Kind::Unsigned: return unsigned_;
    default: return 0;
    }
}

std::u16string_view FormatArg::asText() const {
    switch (kind_) {
    case Kind::Text: return *text_;
    case Kind::Literal: return literal_ ? std::u16string_view(literal_) : std::u16string_view();
    default: return {};
    }
}

namespace {

void appendNumber(String& out, unsigned long long value, unsigned base, bool upper, bool negative,
                  bool zeroPad, std::size_t width) {
    char16_t digits[32];
    std::size_t n = 0;
    do {
        const unsigned d = static_cast<unsigned>(value % base);
        digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : (upper ? u'A' : u'a') + d - 10);
        value /= base;
    } while (value != 0);
    const std::size_t length = n + (negative ? 1 : 0);
    const std::size_t pad = width > length ? width - length : 0;
    if (!zeroPad)
        out.append(pad, u' ');
    if (negative)
        out += u'-';
    if (zeroPad)
        out.append(pad, u'0');
    while (n > 0)
        out += digits[--n];
}

// One conversion (%s, %d, %i, %u, %x, %X) of `arg` appended; false for any other letter.
bool appendConversion(String& out, char16_t conv, const FormatArg& arg, bool zeroPad,
                      std::size_t width) {
    switch (conv) {
    case u's': {
        const auto text = arg.asText();
        if (text.size() < width)
            out.append(width - text.size(), u' ');
        out.append(text);
        return true;
    }
    case u'd':
    case u'i': {
        const long long v = arg.asSigned();
        const unsigned long long magnitude =
            v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        appendNumber(out, magnitude, 10, false, v < 0, zeroPad, width);
        return true;
    }
    case u'u':
        appendNumber(out, arg.asUnsigned(), 10, false, false, zeroPad, width);
        return true;
    case u'x':
    case u'X': {
        // printf's %x prints the 32-bit pattern of an int.
        unsigned long long v = arg.asUnsigned();
        if (arg.kind() == FormatArg::Kind::Signed && arg.asSigned() < 0 &&
            arg.asSigned() >= INT32_MIN)
            v &= 0xFFFFFFFFULL;
        appendNumber(out, v, 16, conv == u'X', false, zeroPad, width);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

String formatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
    String out;
    out.reserve(format.size() + 16);
    auto next = args.begin();
    std::size_t i = 0;
    while (i < format.size()) {
        const char16_t c = format[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t start = i++;
        if (i < format.size() && format[i] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        bool zeroPad = false;
        if (i < format.size() && format[i] == u'0') {
            zeroPad = true;
            ++i;
        }
        std::size_t width = 0;
        while (i < format.size() && format[i] >= u'0' && format[i] <= u'9' && width < 1000)
            width = width * 10 + (format[i++] - u'0');
        while (i < format.size() && (format[i] == u'l' || format[i] == u'h'))
            ++i;
        if (i >= format.size() || next == args.end()) {
            out.append(format.substr(start, (i < format.size() ? i + 1 : i) - start));
            if (i < format.size())
                ++i;
            continue;
        }
        const char16_t conv = format[i++];
        if (appendConversion(out, conv, *next, zeroPad, width))
            ++next;
        else
            out.append(format.substr(start, i - start));
    }
    return out;
}

} // namespace plat
