// Runs of plain characters: every byte above the blank. A plain character
// is never converted on reading and never ends a token, so a run of them is
// moved whole, wherever a token is taken from the input's buffer.
#ifndef MORVALE_TABLE_PLAIN_RUN_H
#define MORVALE_TABLE_PLAIN_RUN_H

#include <cstdint>
#include <cstring>

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

// Copies the plain characters from `from` on to `out`, up to the first byte
// that is not plain or `limit`, and returns where it stopped. `out` has room
// for limit - from characters.
inline const unsigned char* copyRun(const unsigned char* from, const unsigned char* limit, char* out) {
    const unsigned char* at = from;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Sixteen, then eight characters at a time: a token's end costs one
    // well-predicted test instead of a mispredicted one per character. The
    // sixteen go out in one store, so that a token of numbers (rarely sixteen
    // characters) is read back by the writer in one piece.
    while (limit - at >= 16) {
        std::uint64_t low;
        std::uint64_t high;
        std::memcpy(&low, at, sizeof low);
        std::memcpy(&high, at + 8, sizeof high);
        std::memcpy(out, at, 16);
        const std::uint64_t lowStops = detail::runStops(low);
        const std::uint64_t stops = lowStops != 0 ? lowStops : detail::runStops(high);
        if (stops != 0) {
            return at + (lowStops != 0 ? 0 : 8) + __builtin_ctzll(stops) / 8;
        }
        at += 16;
        out += 16;
    }
    while (limit - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        std::memcpy(out, &word, sizeof word);
        const std::uint64_t stops = detail::runStops(word);
        if (stops != 0) {
            return at + __builtin_ctzll(stops) / 8;
        }
        at += sizeof word;
        out += sizeof word;
    }
#endif
    while (at < limit && isPlain(*at)) {
        *out++ = static_cast<char>(*at++);
    }
    return at;
}

// Like copyRun(), for a run that is not kept.
inline const unsigned char* skipRun(const unsigned char* from, const unsigned char* limit) {
    while (from < limit && isPlain(*from)) {
        ++from;
    }
    return from;
}

}  // namespace morvale

#endif
