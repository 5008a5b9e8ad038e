// TokenTable: the fixed table into which one header line or one row is cut,
// and the few pieces every line reader shares.
#ifndef MORVALE_TABLE_TOKEN_TABLE_H
#define MORVALE_TABLE_TOKEN_TABLE_H

#include <cstring>
#include <string_view>

#include "table/char_source.h"

namespace morvale {

// A table of kSlots tokens of at most kMaxTokenLength characters each, each
// kept with its length. An empty token and an empty slot are the same thing.
// The table never grows: it is allocated once and reused for every line and
// file.
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
    // Where the characters of a token go from `position` on, for readers that
    // store a run of them at once; they keep to kMaxTokenLength and store no
    // zero byte this way.
    char* at(int slot, int position) { return &slots_[slot][position]; }
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

// Why a table was refused: a fixed reason and the line where it was found.
// A default Refusal means the table was accepted.
struct Refusal {
    const char* reason = nullptr;
    long line = 0;

    explicit operator bool() const { return reason != nullptr; }
};

constexpr char kBlank = ' ';

inline bool isBlank(char c) { return c == kBlank; }
inline bool isLineEnd(char c) { return c == '\n'; }

// Advances the current character past a run of blanks. It stops at the first
// character that is not a blank, the end marker included.
inline void skipBlanks(char& current, CharSource& source) {
    while (isBlank(current)) {
        current = source.next();
    }
}

}  // namespace morvale

#endif
