// Number checks: whether the readers of vector files take a token as written.
#ifndef MORVALE_VECFILE_NUMBER_CHECK_H
#define MORVALE_VECFILE_NUMBER_CHECK_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvale {

// Whether a sample's value reads as a number: true exactly when C's strtod in
// the "C" locale consumes the whole token. That is an optional sign, then a
// decimal number with an optional complete exponent (5, .5, 5., 1.5E+02), a
// hexadecimal one with an optional complete binary exponent (0x1A, 0x1.8p-3),
// inf or infinity, or nan with an optional (letters, digits and _), letters in
// any case. Magnitudes out of range still read (1e400, 1e-400). Any blank,
// TAB or other byte makes it false: the readers cut lines at blanks and TABs,
// and refuse the whole file over one value they cannot read.
bool isReadableValue(std::string_view text);

// Whether an abscissa is stored exactly as written. The readers keep it as an
// exact decimal, M * 10^-s with a signed 64-bit integer M and a scale s of 0
// to 18 places. True for an optional sign, decimal digits with an optional
// point (one digit at least) and an optional complete exponent, when the
// digits written, leading zeros aside, make an integer D of at most 2^63 - 1,
// and s = (digits after the point) - (exponent) lies within -18..18, with
// D * 10^-s at most 2^63 - 1 when s is negative. Zero follows the same scale
// rule. Hexadecimal, inf and nan are false: they are not exported.
bool isExactAbscissa(std::string_view text);

// The same for a text of up to 32 bytes of which 32 may be read (the input's
// buffer, a token table's slot, a room below), told mostly from masks of its
// bytes rather than digit by digit. printf's "%.18e" writes 19 digits, which
// cost isExactAbscissa() more than the rest of a row.
bool isExactAbscissaAtOnce(std::string_view text);

// Room for the text that shortestExactAbscissa() writes: the longest shortest
// decimal of a double, "-2.2250738585072014e-308", and the whole block that a
// sample line copies a token with.
constexpr std::size_t kAbscissaRoom = 32;

// For an abscissa written with more digits than the readers store, such as
// 1.000000000000000056e-01 (printf's "%.18e"): the shortest decimal that
// reads as the same double, 0.1, written into `room`, when isExactAbscissa()
// takes it. Empty when there is none: the text is no decimal number (hex,
// inf, nan, a bad token), its double is out of range, or it needs more than
// the readers' 18 places or exceeds 2^63 - 1 (1e-30, 1e19). For a text that
// isExactAbscissa() takes, the text is better written as it is.
std::string_view shortestExactAbscissa(std::string_view text, char (&room)[kAbscissaRoom]);

// The common forms of a number: an optional sign, digits with an optional
// point, and an optional complete exponent. Nearly every token of a table is
// of such a form. A Plain one is what both checks above accept (given at most
// 16 bytes); one WithExponent is a value the readers read. A token of no
// common form may still be a number: the checks above decide.
enum class CommonForm { None, Plain, WithExponent };

// The longest token whose common form is told at once from one load, and
// the longest told from two (printf's "%.18e" writes up to 25 bytes).
constexpr std::size_t kCommonLength = 16;
constexpr std::size_t kLongCommonLength = 32;

namespace common_form {

// The form from the masks of a token's bytes (bit i for byte i), without a
// branch: forms come mixed in a table, and a mispredicted branch costs more
// than all of this.
inline CommonForm fromMasks(unsigned digits, unsigned points, unsigned letters, unsigned signs, unsigned all) {
    const unsigned mantissa = (letters - 1) & all;  // the bytes before the letter, or all of them
    const unsigned last = all ^ (all >> 1);
    const unsigned stray = (all ^ (digits | points | letters | signs)) | (points & (points - 1)) |
                           (letters & (letters - 1)) | (signs & ~(1u | (letters << 1))) | (points & ~mantissa);
    // After a letter come an optional sign and digits: the last byte is one.
    const bool complete = (digits & mantissa) != 0 && (letters == 0 || (digits & last) != 0);
    if (stray != 0 || !complete) {
        return CommonForm::None;
    }
    return letters != 0 ? CommonForm::WithExponent : CommonForm::Plain;
}

// The bits of a token of 1 to 32 bytes.
constexpr unsigned allOf(std::size_t length) { return 0xFFFFFFFFu >> (32 - length); }

// The bytes of a text of up to 32 bytes by kind, bit i for byte i: what
// isExactAbscissaAtOnce() reads a number's parts from.
struct ByteKinds {
    unsigned digits = 0;
    unsigned points = 0;
    unsigned letters = 0;  // e and E
    unsigned signs = 0;
    unsigned zeros = 0;
};

// The kinds a byte at a time, for processors without SSE2; compiled and
// tested everywhere.
inline ByteKinds kindsByBytes(const char* at, std::size_t length) {
    ByteKinds kinds;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = at[i];
        kinds.digits |= static_cast<unsigned>(c >= '0' && c <= '9') << i;
        kinds.points |= static_cast<unsigned>(c == '.') << i;
        kinds.letters |= static_cast<unsigned>(c == 'e' || c == 'E') << i;
        kinds.signs |= static_cast<unsigned>(c == '+' || c == '-') << i;
        kinds.zeros |= static_cast<unsigned>(c == '0') << i;
    }
    return kinds;
}

// The form a byte at a time, for processors without SSE2; compiled and
// tested everywhere, so that it stays right where it is used.
inline CommonForm ofBytes(const char* at, std::size_t length) {
    const ByteKinds kinds = kindsByBytes(at, length);
    return fromMasks(kinds.digits, kinds.points, kinds.letters, kinds.signs, allOf(length));
}

#if defined(__SSE2__)
// The masks of a token's digits, points, exponent letters and signs, from one
// load of 16 bytes; bits past the token may be set.
inline void masksOf(const char* at, std::size_t length, unsigned& digits, unsigned& points, unsigned& letters,
                    unsigned& signs) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i fromZero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero);
    const __m128i point = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'));
    const __m128i letter = _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), _mm_set1_epi8('e'));
    const __m128i sign =
        _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('+')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')));
    const unsigned all = (1u << length) - 1;
    digits = static_cast<unsigned>(_mm_movemask_epi8(digit)) & all;
    points = static_cast<unsigned>(_mm_movemask_epi8(point)) & all;
    letters = static_cast<unsigned>(_mm_movemask_epi8(letter)) & all;
    signs = static_cast<unsigned>(_mm_movemask_epi8(sign)) & all;
}

// Only whether the token is Plain: digits and points alone are masked, which
// is all an abscissa needs to be told at once.
inline bool isPlainBlock(const char* at, std::size_t length) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i fromZero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero);
    const __m128i point = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'));
    const unsigned all = (1u << length) - 1;
    const unsigned digits = static_cast<unsigned>(_mm_movemask_epi8(digit)) & all;
    const unsigned points = static_cast<unsigned>(_mm_movemask_epi8(point)) & all;
    const unsigned sign = static_cast<unsigned>(at[0] == '-' || at[0] == '+');
    return ((digits | points | sign) == all) & ((points & (points - 1)) == 0) & (digits != 0);
}

// The kinds of the bytes of a text of up to 32 bytes, from two loads of 16.
inline ByteKinds kindsOfBlocks(const char* at, std::size_t length) {
    ByteKinds kinds;
    for (std::size_t part = 0; part < 2; ++part) {
        unsigned digits, points, letters, signs;
        const std::size_t inPart = length < 16 * part ? 0 : length - 16 * part;
        masksOf(at + 16 * part, inPart < 16 ? inPart : 16, digits, points, letters, signs);
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
        const unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('0'))));
        const unsigned shift = 16 * static_cast<unsigned>(part);
        kinds.digits |= digits << shift;
        kinds.points |= points << shift;
        kinds.letters |= letters << shift;
        kinds.signs |= signs << shift;
        kinds.zeros |= (zeros & digits) << shift;
    }
    return kinds;
}

// The form of a token of 17 to 32 bytes, from two loads of 16. Such tokens
// come in few shapes too, but telling their form costs little more than
// finding it among remembered ones.
// (kindsOfBlocks() would do, but its zeros cost 6 % more on such rows.)
inline CommonForm ofLongBlock(const char* at, std::size_t length) {
    unsigned digits, points, letters, signs;
    unsigned highDigits, highPoints, highLetters, highSigns;
    masksOf(at, 16, digits, points, letters, signs);
    masksOf(at + 16, length - 16, highDigits, highPoints, highLetters, highSigns);
    return fromMasks(digits | highDigits << 16, points | highPoints << 16, letters | highLetters << 16,
                     signs | highSigns << 16, allOf(length));
}
#endif

// The kinds of the bytes of a text of up to 32 bytes of which 32 may be read.
inline ByteKinds kindsOf(const char* at, std::size_t length) {
#if defined(__SSE2__)
    return kindsOfBlocks(at, length);
#else
    return kindsByBytes(at, length);
#endif
}

}  // namespace common_form

// The common forms of the tokens of one table, told at once and remembered by
// the shape of their bytes: a table holds its numbers in a few shapes (a
// column of 0.000123 and 1.5e-06 has two), so the form of a shape is worked
// out once and then looked up. For a token of up to kLongCommonLength bytes
// that stands where the kLongCommonLength bytes from its start may be read
// (the input's buffer, a token table's slot); a longer one is None.
class CommonFormCache {
public:
    CommonForm formOf(std::string_view token) {
        if (token.size() - 1 >= kCommonLength) {
            return longFormOf(token);
        }
#if defined(__SSE2__)
        unsigned digits, points, letters, signs;
        common_form::masksOf(token.data(), token.size(), digits, points, letters, signs);
        const unsigned all = (1u << token.size()) - 1;
        if ((digits | points | letters | signs) != all) {
            return CommonForm::None;  // a byte no common form holds
        }
        // The digits are the bytes that are none of the others.
        const std::uint64_t shape = all | std::uint64_t{points} << 16 | std::uint64_t{letters} << 32 |
                                    std::uint64_t{signs} << 48;
        Entry& entry = entries_[(shape * 0x9E3779B97F4A7C15ULL) >> (64 - kBits)];
        if (entry.shape != shape) {
            entry.shape = shape;
            entry.form = common_form::fromMasks(digits, points, letters, signs, all);
        }
        return entry.form;
#else
        return common_form::ofBytes(token.data(), token.size());
#endif
    }

private:
    // Out of line: inlined, it slowed the rows of short tokens by as much as
    // a fifth (code placement), for a few instructions saved on long ones.
    [[gnu::noinline]] static CommonForm longFormOf(std::string_view token) {
        if (token.size() - 1 >= kLongCommonLength) {
            return CommonForm::None;
        }
#if defined(__SSE2__)
        return common_form::ofLongBlock(token.data(), token.size());
#else
        return common_form::ofBytes(token.data(), token.size());
#endif
    }

    static constexpr int kBits = 8;
    struct Entry {
        std::uint64_t shape = 0;  // no token has the empty shape
        CommonForm form = CommonForm::None;
    };
    Entry entries_[1 << kBits];
};

// Whether such a token is a number of the Plain form; cheaper than asking a
// CommonFormCache when an exponent would not do anyway.
inline bool isPlainNumber(std::string_view token) {
    if (token.size() - 1 >= kCommonLength) {
        return false;
    }
#if defined(__SSE2__)
    return common_form::isPlainBlock(token.data(), token.size());
#else
    return common_form::ofBytes(token.data(), token.size()) == CommonForm::Plain;
#endif
}

}  // namespace morvale

#endif
