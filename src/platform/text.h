// Text helpers shared by every module: UTF conversions and the one printf-style formatter.
#pragma once

#include "types.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace plat {

// UTF-16 <-> UTF-8. Unpaired surrogates become U+FFFD; invalid UTF-8 bytes likewise.
std::string toUtf8(std::u16string_view text);
String fromUtf8(std::string_view bytes);
// For literals and ASCII data only (each byte becomes one code unit).
String fromAscii(std::string_view ascii);
// Lossy, for diagnostics and test output.
std::string toNarrow(std::u16string_view text);

// Device interface paths and the ids in them are names that Windows compares without regard
// to case, and spells differently from one place to another (notifications in upper case,
// enumeration in lower case). Only ASCII letters are folded: these names hold nothing else.
bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b);
bool startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);
// The position of the first occurrence of `part` in `text`, or npos.
std::size_t findIgnoringCase(std::u16string_view text, std::u16string_view part);

// One argument of formatText: a number or a text.
class FormatArg {
public:
    FormatArg(int v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long long v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(unsigned v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long long v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(std::uint8_t v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(const String& v) : kind_(Kind::Text), text_(&v) {}
    FormatArg(const char16_t* v) : kind_(Kind::Literal), literal_(v) {}

    enum class Kind { Signed, Unsigned, Text, Literal };
    Kind kind() const { return kind_; }
    long long asSigned() const;
    unsigned long long asUnsigned() const;
    std::u16string_view asText() const;

private:
    Kind kind_;
    long long signed_ = 0;
    unsigned long long unsigned_ = 0;
    const String* text_ = nullptr;
    const char16_t* literal_ = nullptr;
};

// printf-style formatting of the conversions the program uses: %s, %d, %i, %ld, %u, %x, %X
// with an optional '0' flag and width (e.g. "%02X", "%2x"), and "%%". A conversion without
// an argument left, or one it does not know, is copied literally; it never reads past `args`.
String formatText(std::u16string_view format, std::initializer_list<FormatArg> args);

} // namespace plat
