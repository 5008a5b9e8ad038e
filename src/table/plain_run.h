// Plain characters: every byte above the blank. A plain character is never
// converted on reading and never ends a token, so a run of them is a token,
// or part of one, just as it stands in the input's buffer.
#ifndef MORVALE_TABLE_PLAIN_RUN_H
#define MORVALE_TABLE_PLAIN_RUN_H

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvale {

// The blank: it and every byte below it end a token.
constexpr unsigned char kLastNonPlain = 0x20;

constexpr bool isPlain(unsigned char c) { return c > kLastNonPlain; }

// The bytes that are not plain from `from` on, one at a time in order: where
// tokens end. They are found kBlock bytes at a time, one mask of all of them,
// then taken a bit at a time: finding a token's end costs a few instructions
// that do not wait for each other, where a scan would wait on every byte it
// reads. It reads up to kReadPast bytes past `end`, which must be readable;
// what it finds there counts as `end`. With an `Extra` byte other than 0,
// that byte ends tokens too (the comma or semicolon of a separated table).
template <unsigned char Extra = 0>
class BasicTokenEnds {
public:
    static constexpr int kBlock = 32;
    static constexpr std::size_t kReadPast = kBlock - 1;

    BasicTokenEnds(const unsigned char* from, const unsigned char* end)
        : base_(from), end_(end), mask_(maskAt(from)) {}

    // The next byte that is not plain, or `end` when none comes before it.
    const unsigned char* next() {
        while (mask_ == 0) {
            if (end_ - base_ <= kBlock) {
                return end_;  // the block that reaches the end is done
            }
            base_ += kBlock;
            mask_ = maskAt(base_);
        }
        const unsigned char* const at = base_ + static_cast<unsigned>(__builtin_ctzll(mask_));
        mask_ &= mask_ - 1;
        return at < end_ ? at : end_;
    }

    // Bit i set when byte i of the kBlock at `at` is not plain.
    static std::uint64_t maskAt(const unsigned char* at) {
#if defined(__SSE2__)
        const __m128i firstPlain = _mm_set1_epi8(static_cast<char>(kLastNonPlain + 1));
        std::uint64_t mask = 0;
        for (int part = 0; part < kBlock / 16; ++part) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
            __m128i plain = _mm_cmpeq_epi8(_mm_max_epu8(bytes, firstPlain), bytes);
            if (Extra != 0) {
                plain = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(Extra))), plain);
            }
            const unsigned ends = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu;
            mask |= static_cast<std::uint64_t>(ends) << (16 * part);
        }
        return mask;
#else
        return maskByBytes(at);
#endif
    }

    // The same a byte at a time, for processors without SSE2. Compiled and
    // tested everywhere, so that it stays right where it is used.
    static std::uint64_t maskByBytes(const unsigned char* at) {
        std::uint64_t mask = 0;
        for (int i = 0; i < kBlock; ++i) {
            mask |= static_cast<std::uint64_t>(!isPlain(at[i]) || (Extra != 0 && at[i] == Extra)) << i;
        }
        return mask;
    }

private:
    const unsigned char* base_;
    const unsigned char* end_;
    std::uint64_t mask_;
};

using TokenEnds = BasicTokenEnds<>;

}  // namespace morvale

#endif
