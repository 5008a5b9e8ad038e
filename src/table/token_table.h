// TokenTable: the fixed table into which one header line or one row is cut.
#ifndef MORVALE_TABLE_TOKEN_TABLE_H
#define MORVALE_TABLE_TOKEN_TABLE_H

#include <cstddef>
#include <cstring>
#include <string_view>

#include "table/plain_run.h"

namespace morvale {

// A table of kSlots tokens of at most kMaxTokenLength characters each, each
// kept with its length. An empty token and an empty slot are the same thing.
// The table never grows: it is allocated once and reused for every line and
// file, and it alone knows how much a slot holds: every way of storing into
// it says when a token is full.
//
// A token is filled and terminated before the next one is started: its
// length is then known without scanning it again. No terminating zero is
// stored either: the bytes after a token are whatever was there, and the
// last store into a short token is then often a single one that a writer
// reading the token whole can take straight from the store queue.
class TokenTable {
public:
    static constexpr int kSlots = 1024;
    static constexpr int kSlotSize = 256;
    static constexpr int kMaxTokenLength = kSlotSize - 1;

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

    // Appends to the token at `slot`, from `position` on, the plain
    // characters that start at `from`, up to the first byte that is not
    // plain or `limit`, as far as the slot has room; moves `position` past
    // them and returns where the copying stopped. A plain character there
    // means the token is full.
    const unsigned char* appendRun(int slot, int& position, const unsigned char* from, const unsigned char* limit) {
        const std::size_t room = static_cast<std::size_t>(kMaxTokenLength - position);
        const unsigned char* const stop =
            copyRun(from, static_cast<std::size_t>(limit - from) < room ? limit : from + room, &slots_[slot][position]);
        position += static_cast<int>(stop - from);
        return stop;
    }

    // Ends the token being filled; called once per token.
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
