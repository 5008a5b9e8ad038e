// Number checks.
#include "vecfile/number_check.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <system_error>

namespace morvale {

namespace {

// The largest mantissa the readers hold: 2^63 - 1. A negative abscissa is
// checked by its magnitude, so -2^63, which the mantissa could hold, is
// refused like 2^63: not every reader takes the sign before the digits.
constexpr std::uint64_t kMaxMantissa = 9223372036854775807u;
// The most decimal places a value may have, and the largest power of ten its
// mantissa may be multiplied by. Zero gets no exception: 0e19 and
// 0.0000000000000000000 are refused like 1e19 and 0.0000000000000000001: a
// reader may check or apply the scale before it looks at the mantissa, and
// such a zero is a rare way to write one.
constexpr std::size_t kMaxScale = 18;
constexpr std::uint64_t kPowersOfTen[kMaxScale + 1] = {
    1u, 10u, 100u, 1000u, 10000u, 100000u, 1000000u, 10000000u, 100000000u, 1000000000u, 10000000000u,
    100000000000u, 1000000000000u, 10000000000000u, 100000000000000u, 1000000000000000u,
    10000000000000000u, 100000000000000000u, 1000000000000000000u,
};

// Byte tests by value, not <cctype>: no locale, and no sign trouble with
// bytes above 0x7F. `c | 0x20` folds an ASCII upper-case letter to lower case
// and maps no other byte onto a lower-case letter.
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool isHexDigit(char c) { return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
bool isSign(char c) { return c == '+' || c == '-'; }
bool isLetterIgnoringCase(char c, char lower) { return (c | 0x20) == lower; }

template <bool (*isDigitOfBase)(char)>
const char* skipDigits(const char* p, const char* end) {
    while (p != end && isDigitOfBase(*p)) {
        ++p;
    }
    return p;
}

// Skips digits with an optional point and returns where they end; nullptr
// when there is no digit, as a point alone is no number.
template <bool (*isDigitOfBase)(char)>
const char* skipMantissa(const char* p, const char* end) {
    const char* const start = p;
    p = skipDigits<isDigitOfBase>(p, end);
    bool hasDigit = p != start;
    if (p != end && *p == '.') {
        const char* const fraction = ++p;
        p = skipDigits<isDigitOfBase>(p, end);
        hasDigit = hasDigit || p != fraction;
    }
    return hasDigit ? p : nullptr;
}

// An exponent after its letter, up to the end: an optional sign and one
// decimal digit at least. One missing digit (1e, 0x1p+) and strtod stops
// before the letter, so the token is not read whole.
bool isExponentToEnd(const char* p, const char* end) {
    if (p != end && isSign(*p)) {
        ++p;
    }
    return p != end && skipDigits<isDigit>(p, end) == end;
}

// A mantissa of the given base up to the end, or followed by a complete
// exponent under its letter.
template <bool (*isDigitOfBase)(char)>
bool isPositionalToEnd(const char* p, const char* end, char exponentLetter) {
    p = skipMantissa<isDigitOfBase>(p, end);
    if (p == nullptr) {
        return false;
    }
    return p == end || (isLetterIgnoringCase(*p, exponentLetter) && isExponentToEnd(p + 1, end));
}

// Whether the text is `word`, given in lower case, in any letter case.
bool isWord(const char* p, const char* end, std::string_view word) {
    if (static_cast<std::size_t>(end - p) != word.size()) {
        return false;
    }
    for (char lower : word) {
        if (!isLetterIgnoringCase(*p++, lower)) {
            return false;
        }
    }
    return true;
}

bool isInfinity(const char* p, const char* end) { return isWord(p, end, "inf") || isWord(p, end, "infinity"); }

// nan, or nan(...) holding letters, digits and _ only. An unclosed or
// otherwise filled bracket is left unread by strtod.
bool isNan(const char* p, const char* end) {
    if (end - p < 3 || !isWord(p, p + 3, "nan")) {
        return false;
    }
    p += 3;
    if (p == end) {
        return true;
    }
    if (*p != '(' || end[-1] != ')') {
        return false;
    }
    for (++p; p != end - 1; ++p) {
        if (!isDigit(*p) && !isLetter(*p) && *p != '_') {
            return false;
        }
    }
    return true;
}

// Appends a run of decimal digits to the mantissa, moving p past them; false
// when the mantissa grows past kMaxMantissa. Leading zeros add nothing.
bool appendDigits(const char*& p, const char* end, std::uint64_t& mantissa) {
    for (; p != end && isDigit(*p); ++p) {
        if (mantissa > kMaxMantissa / 10) {
            return false;
        }
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        if (mantissa > kMaxMantissa) {
            return false;
        }
    }
    return true;
}

// The exponent after its letter, up to the end, for a mantissa with `places`
// digits after the point: whether the value stays exact. The scale is
// places - exponent, and it must lie within -18..18, so the exponent is read
// only up to the bound past which the scale leaves that range: it never
// exceeds the token's length + 18, and one of any length cannot overflow.
bool isExactExponentToEnd(const char* p, const char* end, std::uint64_t mantissa, std::size_t places) {
    const bool negative = p != end && *p == '-';
    if (p != end && isSign(*p)) {
        ++p;
    }
    if (p == end || (negative && places > kMaxScale)) {
        return false;
    }
    const std::size_t bound = negative ? kMaxScale - places : places + kMaxScale;
    std::size_t exponent = 0;
    for (; p != end; ++p) {
        if (!isDigit(*p)) {
            return false;
        }
        exponent = exponent * 10 + static_cast<unsigned>(*p - '0');
        if (exponent > bound) {
            return false;
        }
    }
    if (negative) {
        return true;
    }
    if (exponent <= places) {
        return places - exponent <= kMaxScale;
    }
    // A negative scale: the readers multiply the mantissa out.
    return mantissa <= kMaxMantissa / kPowersOfTen[exponent - places];
}

}  // namespace

bool isReadableValue(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    if (p != end && isSign(*p)) {
        ++p;
    }
    if (end - p >= 2 && p[0] == '0' && isLetterIgnoringCase(p[1], 'x')) {
        // 0x without a hexadecimal digit reads as 0, stopping at the x.
        return isPositionalToEnd<isHexDigit>(p + 2, end, 'p');
    }
    if (p != end && (isDigit(*p) || *p == '.')) {
        return isPositionalToEnd<isDigit>(p, end, 'e');
    }
    return isInfinity(p, end) || isNan(p, end);
}

bool isExactAbscissa(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    if (p != end && isSign(*p)) {
        ++p;
    }
    std::uint64_t mantissa = 0;
    const char* const start = p;
    if (!appendDigits(p, end, mantissa)) {
        return false;
    }
    bool hasDigit = p != start;
    std::size_t places = 0;
    if (p != end && *p == '.') {
        const char* const fraction = ++p;
        if (!appendDigits(p, end, mantissa)) {
            return false;
        }
        places = static_cast<std::size_t>(p - fraction);
        hasDigit = hasDigit || places != 0;
    }
    if (!hasDigit) {
        return false;
    }
    if (p == end) {
        return places <= kMaxScale;
    }
    return isLetterIgnoringCase(*p, 'e') && isExactExponentToEnd(p + 1, end, mantissa, places);
}

namespace {

// The bits set in x, inline: without a processor's count instruction
// assumed, __builtin_popcount is a call.
unsigned bitsIn(unsigned x) {
    x -= (x >> 1) & 0x55555555u;
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    return (((x + (x >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24;
}

// How many digits the mantissa of a text of a common form has, leading
// zeros aside, and whether the first of them is a 9: of 19 digits, only
// those may exceed kMaxMantissa (9223372036854775807).
std::size_t significantDigits(const char* at, const common_form::ByteKinds& kinds, unsigned mantissa, bool& leadingNine) {
    const unsigned digits = kinds.digits & mantissa;
    const unsigned nonZero = digits & ~kinds.zeros;
    if (nonZero == 0) {
        leadingNine = false;
        return 0;
    }
    const unsigned first = nonZero & (0u - nonZero);
    leadingNine = at[__builtin_ctz(first)] == '9';
    return bitsIn(digits & ~(first - 1));
}

// The exponent of a text of a common form after its letter, for a mantissa
// of `places` places, as isExactExponentToEnd() judges it; where the
// mantissa multiplied out decides, the whole text is asked.
bool isExactExponentAtOnce(const char* p, std::size_t places, std::string_view text) {
    const char* const end = text.data() + text.size();
    const bool negative = *p == '-';
    p += isSign(*p) ? 1 : 0;
    if (negative && places > kMaxScale) {
        return false;
    }
    const std::size_t bound = negative ? kMaxScale - places : places + kMaxScale;
    std::size_t exponent = 0;
    for (; p != end; ++p) {  // digits alone, as the form has them
        exponent = exponent * 10 + static_cast<unsigned>(*p - '0');
        if (exponent > bound) {
            return false;
        }
    }
    if (negative || exponent <= places) {
        return negative || places - exponent <= kMaxScale;
    }
    return isExactAbscissa(text);
}

}  // namespace

// The decisions of isExactAbscissa(), in its order: the form, the mantissa's
// digits, the places, the exponent within its bound. Where the mantissa's
// value itself decides (19 digits from a 9, a scale below 0), it is asked.
bool isExactAbscissaAtOnce(std::string_view text) {
    if (text.size() - 1 >= 32) {
        return isExactAbscissa(text);
    }
    const common_form::ByteKinds kinds = common_form::kindsOf(text.data(), text.size());
    const unsigned all = common_form::allOf(text.size());
    if (common_form::fromMasks(kinds.digits, kinds.points, kinds.letters, kinds.signs, all) == CommonForm::None) {
        return false;  // no sign, digits, point and exponent as a number has them
    }
    const unsigned mantissa = (kinds.letters - 1) & all;
    bool leadingNine = false;
    const std::size_t digits = significantDigits(text.data(), kinds, mantissa, leadingNine);
    if (digits > 19 || (digits == 19 && leadingNine)) {
        return digits == 19 && isExactAbscissa(text);
    }
    const unsigned fraction = kinds.digits & mantissa & ~((kinds.points << 1) - 1);
    const std::size_t places = bitsIn(fraction);
    if (kinds.letters == 0) {
        return places <= kMaxScale;
    }
    return isExactExponentAtOnce(text.data() + __builtin_ctz(kinds.letters) + 1, places, text);
}

// from_chars reads the digits without a sign of its own: it takes no "+", and
// a "-" after the sign would let "+-1" through. Only a decimal number reads
// whole (from_chars stops at the x of 0x1A); inf and nan start with no digit.
std::string_view shortestExactAbscissa(std::string_view text, char (&room)[kAbscissaRoom]) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (p != end && isSign(*p)) {
        ++p;
    }
    if (p == end || !(isDigit(*p) || *p == '.')) {
        return {};
    }
    double magnitude = 0;
    const std::from_chars_result read = std::from_chars(p, end, magnitude, std::chars_format::general);
    if (read.ec != std::errc() || read.ptr != end) {
        return {};  // not the whole text, or out of range
    }
    const std::to_chars_result written = std::to_chars(room, room + kAbscissaRoom, negative ? -magnitude : magnitude);
    const std::string_view shortest(room, written.ec == std::errc() ? static_cast<std::size_t>(written.ptr - room) : 0);
    // Of the decimals that read as this double, the shortest has the fewest
    // places and the smallest mantissa: if the readers cannot store it, they
    // store none of them.
    return isExactAbscissaAtOnce(shortest) ? shortest : std::string_view();
}

}  // namespace morvale
