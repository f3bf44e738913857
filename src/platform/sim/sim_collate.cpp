// How sorted list and combo boxes order their items: CompareStringW of the user's locale
// without regard to case (lstrcmpiW), modelled for the characters the program shows
// (English text, Latin letters with accents, digits, common punctuation). It is a word sort:
// hyphens and apostrophes count only when everything else is equal; accented letters sort
// with their base letter and after it only when the words are otherwise equal; punctuation
// comes before digits, digits before letters.
#include "sim_world.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

// Primary weights: groups far apart, so that every symbol sorts before every digit and
// every digit before every letter.
constexpr std::uint32_t kSymbols = 0x100;
constexpr std::uint32_t kDigits = 0x200;
constexpr std::uint32_t kLatin = 0x300;
constexpr std::uint32_t kOtherScripts = 0x10000;

// ASCII punctuation and symbols in the order the system sorts them.
constexpr std::u16string_view kSymbolOrder = u" !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";

struct Weight {
    std::uint32_t primary = 0;
    std::uint8_t diacritic = 0; // 0: none
};

// Latin-1 letters with their base letter and an accent (the diacritic weight orders the
// accents of one base letter: acute, grave, circumflex, diaeresis, tilde, ring, cedilla).
struct Accented {
    char16_t c;
    char base;
    std::uint8_t accent;
};
constexpr std::array<Accented, 52> kAccented = {{
    {u'\u00C0', 'a', 2}, {u'\u00C1', 'a', 1}, {u'\u00C2', 'a', 3}, {u'\u00C3', 'a', 5},
    {u'\u00C4', 'a', 4}, {u'\u00C5', 'a', 6}, {u'\u00C7', 'c', 7}, {u'\u00C8', 'e', 2},
    {u'\u00C9', 'e', 1}, {u'\u00CA', 'e', 3}, {u'\u00CB', 'e', 4}, {u'\u00CC', 'i', 2},
    {u'\u00CD', 'i', 1}, {u'\u00CE', 'i', 3}, {u'\u00CF', 'i', 4}, {u'\u00D1', 'n', 5},
    {u'\u00D2', 'o', 2}, {u'\u00D3', 'o', 1}, {u'\u00D4', 'o', 3}, {u'\u00D5', 'o', 5},
    {u'\u00D6', 'o', 4}, {u'\u00D9', 'u', 2}, {u'\u00DA', 'u', 1}, {u'\u00DB', 'u', 3},
    {u'\u00DC', 'u', 4}, {u'\u00DD', 'y', 1}, {u'\u00E0', 'a', 2}, {u'\u00E1', 'a', 1},
    {u'\u00E2', 'a', 3}, {u'\u00E3', 'a', 5}, {u'\u00E4', 'a', 4}, {u'\u00E5', 'a', 6},
    {u'\u00E7', 'c', 7}, {u'\u00E8', 'e', 2}, {u'\u00E9', 'e', 1}, {u'\u00EA', 'e', 3},
    {u'\u00EB', 'e', 4}, {u'\u00EC', 'i', 2}, {u'\u00ED', 'i', 1}, {u'\u00EE', 'i', 3},
    {u'\u00EF', 'i', 4}, {u'\u00F1', 'n', 5}, {u'\u00F2', 'o', 2}, {u'\u00F3', 'o', 1},
    {u'\u00F4', 'o', 3}, {u'\u00F5', 'o', 5}, {u'\u00F6', 'o', 4}, {u'\u00F9', 'u', 2},
    {u'\u00FA', 'u', 1}, {u'\u00FB', 'u', 3}, {u'\u00FC', 'u', 4}, {u'\u00FD', 'y', 1},
}};

bool ignoredInWordSort(char16_t c) {
    return c == u'-' || c == u'\'' || c == u'\u00AD';
}

// Appends the weights of one character (ß and æ expand to two letters).
void weigh(char16_t c, std::vector<Weight>& out) {
    auto letter = [&](char base, std::uint8_t accent = 0) {
        out.push_back({kLatin + static_cast<std::uint32_t>(base - 'a'), accent});
    };
    if (c >= u'a' && c <= u'z')
        return letter(static_cast<char>(c));
    if (c >= u'A' && c <= u'Z')
        return letter(static_cast<char>(c - u'A' + u'a'));
    if (c >= u'0' && c <= u'9')
        return out.push_back({kDigits + static_cast<std::uint32_t>(c - u'0'), 0});
    if (const auto at = kSymbolOrder.find(c); at != std::u16string_view::npos)
        return out.push_back({kSymbols + static_cast<std::uint32_t>(at), 0});
    if (c == u'\u00DF') {
        letter('s');
        return letter('s');
    }
    if (c == u'\u00E6' || c == u'\u00C6') {
        letter('a');
        return letter('e');
    }
    for (const Accented& a : kAccented)
        if (a.c == c)
            return letter(a.base, a.accent);
    // Everything else after the Latin letters, case folded, in code order.
    const String folded = foldCase(String(1, c));
    out.push_back({kOtherScripts + folded[0], 0});
}

struct SortKey {
    std::vector<Weight> weights;
    std::vector<std::size_t> ignoredAt; // positions of hyphens and apostrophes
};

SortKey keyOf(const String& text) {
    SortKey key;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ignoredInWordSort(text[i]))
            key.ignoredAt.push_back(i);
        else
            weigh(text[i], key.weights);
    }
    return key;
}

template <class T> int compareSequences(const std::vector<T>& a, const std::vector<T>& b) {
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (x == a.end())
        return y == b.end() ? 0 : -1;
    if (y == b.end())
        return 1;
    return *x < *y ? -1 : 1;
}

} // namespace

int compareForSort(const String& a, const String& b) {
    const SortKey ka = keyOf(a);
    const SortKey kb = keyOf(b);
    std::vector<std::uint32_t> pa, pb;
    std::vector<std::uint8_t> da, db;
    for (const Weight& w : ka.weights) {
        pa.push_back(w.primary);
        da.push_back(w.diacritic);
    }
    for (const Weight& w : kb.weights) {
        pb.push_back(w.primary);
        db.push_back(w.diacritic);
    }
    if (const int r = compareSequences(pa, pb))
        return r;
    if (const int r = compareSequences(da, db))
        return r;
    // Hyphens and apostrophes last: the word without them first.
    return compareSequences(ka.ignoredAt, kb.ignoredAt);
}

} // namespace sim
