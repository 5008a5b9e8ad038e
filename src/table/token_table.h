// TokenTable: the fixed table into which one header line or one row is cut.
#ifndef MORVALE_TABLE_TOKEN_TABLE_H
#define MORVALE_TABLE_TOKEN_TABLE_H

#include <cstddef>
#include <cstring>
#include <string_view>

namespace morvale {

// A table of kSlots tokens of at most kMaxTokenLength characters each, each
// kept with its length. An empty token and an empty slot are the same thing.
// The table never grows: it is allocated once and reused for every line and
// file, and it alone knows how much a token may hold: every way of filling
// it says when a token is too long, and a reader that cuts tokens without
// storing them asks fits().
//
// A token is filled and terminated before the next one is started: its
// length is kept, so it is never scanned again. No terminating zero is
// stored after an ordinary token: the bytes after it are whatever was there,
// so that the last store into a short token is often a single one that a
// writer reading the token whole can take straight from the store queue.
// Only a token that holds a zero byte, which ends it there, and an emptied
// slot get one.
class TokenTable {
public:
    static constexpr int kSlots = 1024;
    static constexpr int kSlotSize = 256;
    static constexpr int kMaxTokenLength = kSlotSize - 1;

    // Whether a token of `length` characters fits a slot.
    static constexpr bool fits(std::size_t length) { return length <= static_cast<std::size_t>(kMaxTokenLength); }

    // Stores one character; false, storing nothing, when the token is full.
    // The caller keeps slot below kSlots.
    bool put(int slot, int position, char c) {
        if (position >= kMaxTokenLength) {
            return false;
        }
        slots_[slot][position] = c;
        zeroStored_ = zeroStored_ || c == '\0';
        return true;
    }

    // Ends the token being stored; called once per token.
    void terminate(int slot, int position) {
        // A zero byte inside a token ends it: the token is its text up to the
        // first zero byte.
        if (zeroStored_) {
            slots_[slot][position] = '\0';
            lengths_[slot] = static_cast<unsigned char>(std::strlen(slots_[slot]));
            zeroStored_ = false;
        } else {
            lengths_[slot] = static_cast<unsigned char>(position);
        }
    }

    void makeEmpty(int slot) {
        slots_[slot][0] = '\0';
        lengths_[slot] = 0;
    }

    // Empties the slots from `from` up to, not including, `to`: those a line
    // did not fill but that may be written out.
    void makeEmpty(int from, int to) {
        for (int slot = from; slot < to; ++slot) {
            makeEmpty(slot);
        }
    }

    std::string_view token(int slot) const { return std::string_view(slots_[slot], lengths_[slot]); }

private:
    // Left uninitialised: the readers empty every slot that can be written
    // out, and untouched slots then cost no memory.
    char slots_[kSlots][kSlotSize];
    unsigned char lengths_[kSlots];
    static_assert(kMaxTokenLength <= 255, "a length fits in a byte");
    // A zero byte was put since the last terminate(); a stale true only costs
    // a scan.
    bool zeroStored_ = false;
};

// The most data columns (vectors) a table may have: every one of them, plus
// the abscissa, must fit a row's TokenTable.
constexpr int kMaxVectors = TokenTable::kSlots - 1;

}  // namespace morvale

#endif
