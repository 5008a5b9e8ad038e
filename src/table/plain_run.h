// Runs of plain characters: every byte above the blank. A plain character
// is never converted on reading and never ends a token, so a run of them is
// a token, or part of one, just as it stands in the input's buffer.
#ifndef MORVALE_TABLE_PLAIN_RUN_H
#define MORVALE_TABLE_PLAIN_RUN_H

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvale {

// The blank: it and every byte below it end a run.
constexpr unsigned char kRunStop = 0x20;

inline bool isPlain(unsigned char c) { return c > kRunStop; }

namespace detail {

// The high bit of every byte of `word` that ends a run. Bits above the
// lowest one may be spurious (a borrow carries into the next byte), so only
// the lowest is meaningful: on a little-endian machine, the first character
// that ends the run.
inline std::uint64_t runStops(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    return (word - kOnes * (kRunStop + 1)) & ~word & kHighBits;
}

}  // namespace detail

// Where the run of plain characters that starts at `from` ends: at the first
// byte that is not plain, or at `limit`.
inline const unsigned char* skipRun(const unsigned char* from, const unsigned char* limit) {
    const unsigned char* at = from;
#if defined(__SSE2__)
    // Sixteen characters at a time: a token's end costs one well-predicted
    // test instead of a mispredicted one per character.
    const __m128i firstPlain = _mm_set1_epi8(static_cast<char>(kRunStop + 1));
    while (limit - at >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i plain = _mm_cmpeq_epi8(_mm_max_epu8(bytes, firstPlain), bytes);
        if (const unsigned stops = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu) {
            return at + __builtin_ctz(stops);
        }
        at += 16;
    }
#elif defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (limit - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        if (const std::uint64_t stops = detail::runStops(word)) {
            return at + __builtin_ctzll(stops) / 8;
        }
        at += sizeof word;
    }
#endif
    while (at < limit && isPlain(*at)) {
        ++at;
    }
    return at;
}

}  // namespace morvale

#endif
